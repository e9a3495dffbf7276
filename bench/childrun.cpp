#include "childrun.h"

#include "samples.h"

#include <QByteArrayList>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

namespace {
double seconds(const timeval &time)
{
    return double(time.tv_sec) + double(time.tv_usec) * 1e-6;
}
} // namespace

ChildRun runChild(const QStringList &arguments, bool keepOutput)
{
    const QTemporaryDir dir;
    const QString outputPath = keepOutput ? dir.filePath(QStringLiteral("printed")) : QString();
    QByteArrayList argumentBytes;
    std::vector<char *> argv;
    for (const QString &argument : arguments)
        argumentBytes << argument.toLocal8Bit();
    for (QByteArray &argument : argumentBytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (outputPath.isEmpty())
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    else
        posix_spawn_file_actions_addopen(&actions, 1, outputPath.toLocal8Bit().constData(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

    ChildRun run;
    const double start = monotonicSeconds();
    pid_t pid = 0;
    const bool spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (!spawned)
        return run;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return run;
    run.wallSeconds = monotonicSeconds() - start;
    run.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    run.peakMiB = double(usage.ru_maxrss) / 1024; // Linux reports KiB
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.succeeded = run.exitStatus == 0;
    QFile printed(outputPath);
    if (keepOutput && printed.open(QIODevice::ReadOnly))
        run.printed = printed.readAll();
    return run;
}

QString runCli(const QStringList &arguments, int expectedStatus, ChildRun &run, QJsonObject &printed)
{
    run = runChild(QStringList{QStringLiteral(MORLANK_CLI)} + arguments, true);
    printed = QJsonDocument::fromJson(run.printed).object();
    if (run.exitStatus == expectedStatus)
        return {};
    return QStringLiteral("morlank-cli %1 exited with status %2, not %3")
        .arg(arguments.first())
        .arg(run.exitStatus)
        .arg(expectedStatus);
}

QString runBenchmarks(const QString &path, const QStringList &options, const QStringList &expected, BenchmarkRun &run)
{
    const ChildRun child = runChild(QStringList{path} + options << QStringLiteral("--benchmark_format=json"), true);
    if (!child.succeeded)
        return QStringLiteral("the runner failed");
    run.results = QJsonDocument::fromJson(child.printed)["benchmarks"].toArray();
    run.peakMiB = child.peakMiB;
    QString failure;
    for (const QJsonValue &value : qAsConst(run.results)) {
        const QJsonObject result = value.toObject();
        if (result["error_occurred"].toBool() && failure.isEmpty())
            failure = result["run_name"].toString() + ": " + result["error_message"].toString();
        if (result["aggregate_name"].toString() == QLatin1String("median"))
            run.medians.insert(result["run_name"].toString(), result);
    }
    for (const QString &name : expected) {
        if (!run.medians.contains(name) && failure.isEmpty())
            failure = name + QStringLiteral(": no result");
    }
    return failure;
}
