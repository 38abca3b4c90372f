// The logger broadcast reader on arbitrary bytes. A report it accepts must hold what the
// reader promises (radio 1 or 2, a frequency in range, whole tens of hertz), and its
// numbers must be found again, as plain digits, in the datagram itself.
#include "fuzzcheck.h"

#include "rig/radioinfo.h"

#include <QByteArray>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray datagram(reinterpret_cast<const char *>(data), int(size));
    const std::optional<RadioInfo::Report> report = RadioInfo::parse(datagram);
    if (!report)
        return 0;
    FUZZ_CHECK(datagram.size() <= RadioInfo::MaxDatagramSize);
    FUZZ_CHECK(report->radio == 1 || report->radio == 2);
    FUZZ_CHECK(report->hz >= 0 && report->hz <= qint64(2147483647) * 10 && report->hz % 10 == 0);
    FUZZ_CHECK(datagram.contains("RadioInfo"));
    // Entities, comments and CDATA sections could spell or split the digits another way, so
    // they are looked for only in a datagram without them.
    if (!datagram.contains('&') && !datagram.contains("<!") && datagram.count("<?") <= 1) {
        FUZZ_CHECK(datagram.contains(QByteArray::number(report->radio)));
        FUZZ_CHECK(datagram.contains(QByteArray::number(report->hz / 10)));
    }
    if (report->txHz)
        FUZZ_CHECK(*report->txHz >= 0 && *report->txHz % 10 == 0);
    return 0;
}
