#ifndef MEASURE_H
#define MEASURE_H

#include <QVector>

// Seconds on the monotonic clock.
double monotonicSeconds();
// CPU seconds used by the calling thread alone.
double threadCpuSeconds();
// The median of a non-empty list.
double median(QVector<double> values);

#endif // MEASURE_H
