#include "progressdisplay.h"

#include <cstdio>

#include <unistd.h>

namespace {
const int barWidth = 30;

void write(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}
} // namespace

ProgressDisplay::ProgressDisplay(const QStringList &p, int t, bool q)
    : ports(p)
    , total(t)
    , quiet(q)
    , terminal(::isatty(STDERR_FILENO))
{
    for (const QString &port : ports)
        portWidth = std::max(portWidth, int(port.size()));
}

void ProgressDisplay::show(const QVector<Device> &devices)
{
    if (quiet)
        return;
    if (terminal)
        redraw(devices);
    else
        logChanges(devices);
    shown = devices;
    drawn = true;
}

QString ProgressDisplay::bar(const QString &port, const Device &device) const
{
    const int filled = total ? device.done * barWidth / total : barWidth;
    return QStringLiteral("%1 [%2%3] %4/%5  %6 failed")
        .arg(port.leftJustified(portWidth), QString(filled, QLatin1Char('#')),
             QString(barWidth - filled, QLatin1Char('-')))
        .arg(device.done)
        .arg(total)
        .arg(device.failures);
}

// Back to the first device's line, then every line anew.
void ProgressDisplay::redraw(const QVector<Device> &devices)
{
    if (drawn && devices == shown)
        return;
    QString text = drawn ? QStringLiteral("\x1b[%1A").arg(ports.size()) : QString();
    for (int i = 0; i < ports.size(); ++i)
        text += QStringLiteral("\r\x1b[K") + bar(ports.at(i), devices.value(i)) + QLatin1Char('\n');
    write(text);
}

void ProgressDisplay::logChanges(const QVector<Device> &devices)
{
    QString text;
    for (int i = 0; i < ports.size(); ++i) {
        const Device device = devices.value(i);
        if (!drawn)
            text += QStringLiteral("%1: sending %2 commands\n").arg(ports.at(i)).arg(total);
        if (device.finished && !shown.value(i).finished) {
            text += QStringLiteral("%1: ended, %2/%3 commands done, %4 failed\n")
                        .arg(ports.at(i))
                        .arg(device.done)
                        .arg(total)
                        .arg(device.failures);
        }
    }
    write(text);
}
