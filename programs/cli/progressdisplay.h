#ifndef PROGRESSDISPLAY_H
#define PROGRESSDISPLAY_H

#include "cli/livelines.h"

#include <QString>
#include <QStringList>
#include <QVector>

// The progress of a download on standard error. On a terminal, one line per
// device redrawn in place: port, bar, sent/total, failures so far, each line
// fitted to the terminal's width as it is at each redraw. Otherwise one line
// per device when it starts and one when it ends.
class ProgressDisplay
{
public:
    struct Device
    {
        int done = 0;
        int failures = 0;
        bool finished = false;

        bool operator==(const Device &other) const
        {
            return done == other.done && failures == other.failures && finished == other.finished;
        }
    };

    ProgressDisplay(const QStringList &ports, int total, bool quiet);

    void show(const QVector<Device> &devices);
    // Prints `text`, whole lines, above the live lines, which are drawn
    // again below it, so that neither hides the other.
    void printAbove(const QString &text);

    // One device's line in at most `width` screen columns, the port padded
    // to `portWidth` columns: the bar shortens first, down to none, then the port loses
    // the middle of its name to an ellipsis.
    static QString line(const QString &port, int portWidth, const Device &device, int total, int width);

private:
    void draw(const QVector<Device> &devices);
    void logChanges(const QVector<Device> &devices);

    const QStringList ports;
    const int total;
    const bool quiet;
    const bool terminal;
    int portWidth = 0;
    QVector<Device> shown;
    bool started = false;
    LiveLines live;
};

#endif // PROGRESSDISPLAY_H
