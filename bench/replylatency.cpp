#include "replylatency.h"

#include "measure.h"

#include <QByteArray>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {
const QByteArray probe = QByteArrayLiteral("ZEL#PROBE\r");

bool waitReadable(int fd)
{
    pollfd readable{fd, POLLIN, 0};
    return ::poll(&readable, 1, 1000) == 1;
}

// Reads until the reply's closing carriage return, so no byte of it is left
// for the next round.
bool readReply(int fd)
{
    char byte = 0;
    while (waitReadable(fd) && ::read(fd, &byte, 1) == 1) {
        if (byte == '\r')
            return true;
    }
    return false;
}

// Seconds from the write to the first readable byte; negative on failure.
double oneRound(int fd)
{
    const double sent = monotonicSeconds();
    if (::write(fd, probe.constData(), size_t(probe.size())) != probe.size() || !waitReadable(fd))
        return -1;
    const double latency = monotonicSeconds() - sent;
    return readReply(fd) ? latency : -1;
}
} // namespace

double replyLatencySeconds(const QString &ttyPath, int rounds)
{
    const int fd = ::open(ttyPath.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return -1;
    QVector<double> latencies;
    for (int i = 0; i < rounds; ++i) {
        const double latency = oneRound(fd);
        if (latency < 0)
            break;
        latencies << latency;
    }
    ::close(fd);
    return latencies.size() == rounds ? median(latencies) : -1;
}
