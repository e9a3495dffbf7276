#include "childrun.h"

#include "measure.h"

#include <QByteArrayList>

#include <algorithm>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

namespace {
QByteArrayList mergedEnvironment(const QStringList &overrides)
{
    QByteArrayList merged;
    for (char **entry = environ; *entry; ++entry)
        merged << QByteArray(*entry);
    for (const QString &setting : overrides) {
        const QByteArray bytes = setting.toLocal8Bit();
        const QByteArray name = bytes.left(bytes.indexOf('=') + 1);
        merged.erase(std::remove_if(merged.begin(), merged.end(),
                                    [&](const QByteArray &e) { return e.startsWith(name); }),
                     merged.end());
        merged << bytes;
    }
    return merged;
}

double seconds(const timeval &time)
{
    return double(time.tv_sec) + double(time.tv_usec) * 1e-6;
}

// The pointers stay valid as long as `strings` is alive and unchanged.
std::vector<char *> nullTerminated(QByteArrayList &strings)
{
    std::vector<char *> pointers;
    for (QByteArray &s : strings)
        pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}
} // namespace

ChildRun runChild(const QStringList &arguments, const QStringList &environment,
                  const QString &outputPath)
{
    QByteArrayList argumentBytes;
    for (const QString &argument : arguments)
        argumentBytes << argument.toLocal8Bit();
    QByteArrayList environmentBytes = mergedEnvironment(environment);
    const std::vector<char *> argv = nullTerminated(argumentBytes);
    const std::vector<char *> envp = nullTerminated(environmentBytes);

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
    const bool spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0;
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
    return run;
}
