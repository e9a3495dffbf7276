#include "progressdisplay.h"

#include <algorithm>
#include <cstdio>

#include <sys/ioctl.h>
#include <unistd.h>

namespace {
const int barWidth = 30;
const int shortestBar = 5;
const QString ellipsis = QStringLiteral("...");
// Where the terminal does not say.
const int defaultWidth = 80;

void write(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

// Asked at every redraw, so that a terminal resized mid-run is followed.
int terminalWidth()
{
    winsize size = {};
    return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : defaultWidth;
}

// A third of the room for the head of a name too long for `width`, the rest
// for its tail, which tells /dev/serial/by-id names apart.
QString elided(const QString &name, int width)
{
    if (name.size() <= width)
        return name;
    if (width <= ellipsis.size())
        return name.right(std::max(width, 0));
    const int head = (width - int(ellipsis.size())) / 3;
    return name.left(head) + ellipsis + name.right(width - int(ellipsis.size()) - head);
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
    if (!terminal)
        logChanges(devices);
    else if (!started || devices != shown || terminalWidth() != drawnWidth)
        draw(devices);
    shown = devices;
    started = true;
}

void ProgressDisplay::printAbove(const QString &text)
{
    if (drawnLengths.isEmpty()) {
        write(text);
        return;
    }
    write(backToStart() + text);
    drawnLengths.clear();
    draw(shown);
}

QString ProgressDisplay::line(const QString &port, int portWidth, const Device &device, int total, int width)
{
    const QString counts = QStringLiteral(" %1/%2  %3 failed").arg(device.done).arg(total).arg(device.failures);
    const int room = width - int(counts.size()); // for the port and the bar with " [" and "]"
    int bar = std::min(room - portWidth - 3, barWidth);
    if (bar < shortestBar)
        bar = 0;
    const int nameWidth = std::min(portWidth, room - (bar ? bar + 3 : 0));
    const int filled = total ? device.done * bar / total : bar;
    const QString drawnBar = bar ? QStringLiteral(" [%1%2]").arg(QString(filled, QLatin1Char('#')),
                                                                  QString(bar - filled, QLatin1Char('-')))
                                 : QString();
    return (elided(port, nameWidth).leftJustified(nameWidth) + drawnBar + counts).left(width);
}

// Every line anew. The last column stays free: a line that fills it makes
// some terminals wrap at once.
void ProgressDisplay::draw(const QVector<Device> &devices)
{
    const int width = terminalWidth();
    QString text = backToStart();
    drawnLengths.clear();
    for (int i = 0; i < ports.size(); ++i) {
        const QString drawn = line(ports.at(i), portWidth, devices.value(i), total, width - 1);
        text += drawn + QLatin1Char('\n');
        drawnLengths << int(drawn.size());
    }
    write(text);
    drawnWidth = width;
}

// To the first live line, erasing it and all below. A terminal made narrower
// has wrapped the lines onto more rows, as most terminals reflow them.
QString ProgressDisplay::backToStart() const
{
    if (drawnLengths.isEmpty())
        return QString();
    const int width = terminalWidth();
    int rows = 0;
    for (const int length : drawnLengths)
        rows += std::max(1, (length + width - 1) / width);
    return QStringLiteral("\x1b[%1A\r\x1b[J").arg(rows);
}

void ProgressDisplay::logChanges(const QVector<Device> &devices)
{
    QString text;
    for (int i = 0; i < ports.size(); ++i) {
        const Device device = devices.value(i);
        if (!started)
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
