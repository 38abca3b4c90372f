#include "signalwatcher.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_signalFds[2] = {-1, -1};

extern "C" void onTerminationSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalFds[0], &byte, 1);
    errno = savedErrno;
}
} // namespace
#endif

SignalWatcher::SignalWatcher(QObject *parent)
    : QObject(parent)
{}

#ifdef Q_OS_UNIX

SignalWatcher::~SignalWatcher()
{
    if (g_signalFds[0] < 0)
        return;
    struct sigaction action
    {
    };
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    delete m_notifier;
    ::close(g_signalFds[0]);
    ::close(g_signalFds[1]);
    g_signalFds[0] = g_signalFds[1] = -1;
}

bool SignalWatcher::start()
{
    if (g_signalFds[0] >= 0)
        return false; // one watcher per process
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalFds) != 0)
        return false;
    ::fcntl(g_signalFds[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(g_signalFds[1], F_SETFD, FD_CLOEXEC);
    m_notifier = new QSocketNotifier(g_signalFds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalWatcher::readSignal);

    struct sigaction action
    {
    };
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    // A parent that stops reading our stdout must not kill us with SIGPIPE.
    ::signal(SIGPIPE, SIG_IGN);
    return true;
}

void SignalWatcher::readSignal()
{
    char byte;
    if (::read(g_signalFds[1], &byte, 1) > 0)
        emit terminationRequested();
}

#else

SignalWatcher::~SignalWatcher() = default;

bool SignalWatcher::start() { return false; }

void SignalWatcher::readSignal() {}

#endif
