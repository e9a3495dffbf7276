#include "samples.h"

#include <QDebug>

#include <algorithm>
#include <limits>

#include <time.h>

namespace {
double clockSeconds(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}
} // namespace

double monotonicSeconds()
{
    return clockSeconds(CLOCK_MONOTONIC);
}

double threadCpuSeconds()
{
    return clockSeconds(CLOCK_THREAD_CPUTIME_ID);
}

double median(QVector<double> values)
{
    if (values.isEmpty())
        return std::numeric_limits<double>::quiet_NaN();
    std::sort(values.begin(), values.end());
    const int middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void Samples::repeat(const QString &what, int runs, const Run &once)
{
    for (int i = 0; i < runs && failed.isEmpty(); ++i) {
        qInfo().noquote() << QStringLiteral("%1: run %2 of %3").arg(what).arg(i + 1).arg(runs);
        fail(once(*this));
    }
}

Samples Samples::taken(const QString &what, int runs, const Run &once)
{
    Samples samples;
    samples.repeat(what, runs, once);
    return samples;
}

void Samples::add(const QString &figure, double value)
{
    figures[figure] << value;
}

QVector<double> Samples::values(const QString &figure) const
{
    return figures.value(figure);
}

double Samples::median(const QString &figure) const
{
    return ::median(figures.value(figure));
}

void Samples::fail(const QString &reason)
{
    if (failed.isEmpty())
        failed = reason;
}

QString Samples::failure() const
{
    return failed;
}
