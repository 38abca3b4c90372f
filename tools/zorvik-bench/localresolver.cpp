#include "localresolver.h"

#include <dlfcn.h>
#include <netdb.h>
#include <sys/socket.h>

#include <atomic>

namespace {
std::atomic<int> reverse{0};
std::atomic<int> forward{0};

template<typename Fn> Fn next(const char *name) { return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name)); }
} // namespace

// Defined in the executable, these take the place of the C library's for Qt's network
// library as well (the executable comes first in symbol look-up).
extern "C" int getnameinfo(const struct sockaddr *__restrict sa, socklen_t salen, char *__restrict host,
                           socklen_t hostlen, char *__restrict serv, socklen_t servlen, int flags)
{
    using Fn = int (*)(const struct sockaddr *, socklen_t, char *, socklen_t, char *, socklen_t, int);
    static const Fn real = next<Fn>("getnameinfo");
    reverse.fetch_add(1);
    if (!real)
        return EAI_FAIL;
    return real(sa, salen, host, hostlen, serv, servlen, flags | NI_NUMERICHOST | NI_NUMERICSERV);
}

extern "C" int getaddrinfo(const char *__restrict node, const char *__restrict service,
                           const struct addrinfo *__restrict hints, struct addrinfo **__restrict result)
{
    using Fn = int (*)(const char *, const char *, const struct addrinfo *, struct addrinfo **);
    static const Fn real = next<Fn>("getaddrinfo");
    forward.fetch_add(1);
    if (!real)
        return EAI_FAIL;
    addrinfo numeric{};
    if (hints)
        numeric = *hints;
    numeric.ai_flags |= AI_NUMERICHOST;
    return real(node, service, &numeric, result);
}

namespace LocalResolver {

int reverseLookups() { return reverse.load(); }

int forwardLookups() { return forward.load(); }

} // namespace LocalResolver
