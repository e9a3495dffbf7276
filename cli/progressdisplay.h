#ifndef PROGRESSDISPLAY_H
#define PROGRESSDISPLAY_H

#include <QString>
#include <QStringList>
#include <QVector>

// The progress of a download on standard error. On a terminal, one line per
// device redrawn in place: port, bar, sent/total, failures so far. Otherwise
// one line per device when it starts and one when it ends.
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

private:
    QString bar(const QString &port, const Device &device) const;
    void redraw(const QVector<Device> &devices);
    void logChanges(const QVector<Device> &devices);

    const QStringList ports;
    const int total;
    const bool quiet;
    const bool terminal;
    int portWidth = 0;
    QVector<Device> shown;
    bool drawn = false;
};

#endif // PROGRESSDISPLAY_H
