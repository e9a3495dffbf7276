#include "benchmarkrunner.h"

#include "childrun.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

BenchmarkRunner::BenchmarkRunner(const QString &path)
    : runner(path)
{
}

bool BenchmarkRunner::run(const QStringList &options, const QStringList &expected)
{
    QTemporaryDir dir;
    const QString jsonPath = dir.filePath(QStringLiteral("results.json"));
    const ChildRun child = runChild(QStringList{runner} + options
                                    + QStringList{QStringLiteral("--benchmark_out_format=json"),
                                                  QStringLiteral("--benchmark_out=") + jsonPath});
    QFile file(jsonPath);
    if (!child.succeeded || !file.open(QIODevice::ReadOnly)) {
        reason = QStringLiteral("the runner failed");
        return false;
    }
    lastResults = QJsonDocument::fromJson(file.readAll())["benchmarks"].toArray();
    lastPeakMiB = child.peakMiB;
    for (const QJsonValue &value : lastResults) {
        const QJsonObject result = value.toObject();
        if (result["error_occurred"].toBool() && reason.isEmpty())
            reason = result["run_name"].toString() + ": " + result["error_message"].toString();
        if (result["aggregate_name"].toString() == QLatin1String("median"))
            medians.insert(result["run_name"].toString(), result);
    }
    for (const QString &name : expected) {
        if (!medians.contains(name) && reason.isEmpty())
            reason = name + QStringLiteral(": no result");
    }
    return reason.isEmpty();
}

QString BenchmarkRunner::failure() const
{
    return reason;
}

QJsonObject BenchmarkRunner::median(const QString &name) const
{
    return medians.value(name);
}

QJsonArray BenchmarkRunner::results() const
{
    return lastResults;
}

double BenchmarkRunner::peakMiB() const
{
    return lastPeakMiB;
}
