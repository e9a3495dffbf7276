#include "readbenchmarks.h"

#include "conffiles.h"
#include "device/commandreader.h"

#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <benchmark/benchmark.h>

#include <functional>

namespace {
// The number of commands in the file, or -1 when it cannot be opened.
int readCommandCount(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    QTextStream in(&file);
    return readCommands(in).size();
}

// The number of lines in the file, or -1 when it cannot be opened. With
// `keep`, every line is stored as readCommands stores its commands: the
// least that any reader returning a million strings pays.
int readLineCount(const QString &path, bool keep)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    QTextStream in(&file);
    QStringList kept;
    int lines = 0;
    while (!in.atEnd()) {
        const QString line = in.readLine();
        benchmark::DoNotOptimize(line.constData());
        if (keep)
            kept << line;
        ++lines;
    }
    return lines;
}

template<typename Read>
void measureReading(benchmark::State &state, const QString &path, int expected, Read read)
{
    for (auto _ : state) {
        if (read(path) != expected) {
            state.SkipWithError("the file was not read as expected");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * QFileInfo(path).size());
}

void registerReading(const char *name, const QString &path, int expected,
                     std::function<int(const QString &)> read)
{
    benchmark::RegisterBenchmark(name, measureReading<std::function<int(const QString &)>>, path,
                                 expected, read)
        ->Unit(benchmark::kMillisecond);
}
} // namespace

void registerReadBenchmarks(const ConfFiles &files)
{
    const int count = files.commandCount();
    registerReading("readCommands/crlf", files.crLfPath(), count, readCommandCount);
    registerReading("readCommands/cr", files.crPath(), count, readCommandCount);
    registerReading("readLineLoop/crlf", files.crLfPath(), count,
                    [](const QString &path) { return readLineCount(path, false); });
    registerReading("readLineKeep/crlf", files.crLfPath(), count,
                    [](const QString &path) { return readLineCount(path, true); });
}
