#include "cli/progressdisplay.h"

#include "cli/screencolumns.h"

#include <algorithm>

#include <unistd.h>

namespace {
const int barWidth = 30;
const int shortestBar = 5;
} // namespace

ProgressDisplay::ProgressDisplay(const QStringList &p, int t, bool q)
    : ports(p)
    , total(t)
    , quiet(q)
    , terminal(::isatty(STDERR_FILENO))
{
    for (const QString &port : ports)
        portWidth = std::max(portWidth, ScreenColumns::width(port));
}

void ProgressDisplay::show(const QVector<Device> &devices)
{
    if (quiet)
        return;
    if (!terminal)
        logChanges(devices);
    else
        draw(devices);
    shown = devices;
    started = true;
}

void ProgressDisplay::printAbove(const QString &text)
{
    live.printAbove(text);
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
    return ScreenColumns::left(ScreenColumns::leftJustified(LiveLines::elided(port, nameWidth), nameWidth) + drawnBar
                                   + counts,
                               width);
}

void ProgressDisplay::draw(const QVector<Device> &devices)
{
    const int width = LiveLines::columns();
    QStringList lines;
    for (int i = 0; i < ports.size(); ++i)
        lines << line(ports.at(i), portWidth, devices.value(i), total, width);
    if (live.differs(lines))
        live.draw(lines);
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
    LiveLines::write(text);
}
