#ifndef SAMPLES_H
#define SAMPLES_H

#include <QHash>
#include <QString>
#include <QVector>

#include <functional>

// Seconds on the monotonic clock.
double monotonicSeconds();
// CPU seconds used by the calling thread alone.
double threadCpuSeconds();
// The median of a list; NaN for an empty one, which meets no target.
double median(QVector<double> values);

// What one benchmark takes, run after run: its figures by name, and why its
// runs stopped when one failed. A failure fails every row made from the
// figures, so that a run that went wrong is never shown as timed.
class Samples
{
public:
    using Run = std::function<QString(Samples &)>;
    // Runs `once` up to `runs` times, saying on standard error which, until
    // one returns a failure.
    void repeat(const QString &what, int runs, const Run &once);
    static Samples taken(const QString &what, int runs, const Run &once);
    void add(const QString &figure, double value);
    QVector<double> values(const QString &figure) const;
    double median(const QString &figure) const;
    // The first reason given is kept.
    void fail(const QString &reason);
    QString failure() const;

private:
    QHash<QString, QVector<double>> figures;
    QString failed;
};

#endif // SAMPLES_H
