// Google Benchmark runner for the text work of the device library: reading
// configuration files and parsing query answers.
#include "configuration.h"
#include "device/commandreader.h"
#include "device/replyparser.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <benchmark/benchmark.h>

#include <cstdio>

#include <malloc.h>

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

void registerReading(const char *name, const QString &path, int expected, int (*read)(const QString &))
{
    benchmark::RegisterBenchmark(name, [=](benchmark::State &state) {
        for (auto _ : state) {
            if (read(path) != expected) {
                state.SkipWithError("the file was not read as expected");
                break;
            }
        }
        state.SetBytesProcessed(state.iterations() * QFileInfo(path).size());
    })->Unit(benchmark::kMillisecond);
}

// Two files with the same commands: one with CR LF line ends, one with the
// commands separated by CR alone.
void registerReadBenchmarks(const QString &crLfPath, const QString &crPath, int count)
{
    registerReading("readCommands/crlf", crLfPath, count, readCommandCount);
    registerReading("readCommands/cr", crPath, count, readCommandCount);
    registerReading("readLineLoop/crlf", crLfPath, count,
                    [](const QString &path) { return readLineCount(path, false); });
    registerReading("readLineKeep/crlf", crLfPath, count,
                    [](const QString &path) { return readLineCount(path, true); });
}

// "+TIME=" as the clock queries' header: 11-byte command less 5.
const int headerLength = 6;

// Fields of equal width, so that the cost per field can be compared
// between answers of different sizes.
QString answerWithFields(int fields)
{
    QStringList values;
    for (int i = 0; i < fields; ++i)
        values << QStringLiteral("12345");
    return QStringLiteral("+TIME=") + values.join(QLatin1Char(',')) + QStringLiteral("\n\rOK\n\r");
}

void parseReply(benchmark::State &state, const QString &reply, int expectedFields)
{
    QStringList values;
    for (auto _ : state) {
        values.clear();
        if (!parseQueryReply(reply, headerLength, values) || values.size() != expectedFields) {
            state.SkipWithError("the answer was not parsed as expected");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void registerParseBenchmarks()
{
    benchmark::RegisterBenchmark("parse/clock", parseReply,
                                 QStringLiteral("+TIME=\"12:34:56\"\n\rOK\n\r"), 1);
    for (int fields : {1000, 10000}) {
        const std::string name = "parse/fields:" + std::to_string(fields);
        benchmark::RegisterBenchmark(name.c_str(), parseReply, answerWithFields(fields), fields)
            ->Unit(benchmark::kMicrosecond);
    }
}
} // namespace

int main(int argc, char **argv)
{
    // Freed memory stays with the process, so every reading after the first
    // measures the code rather than how fast the machine hands out fresh
    // pages, and no reading depends on which one ran before it. The first
    // reading in a fresh process is measured apart, by the driver.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    const int commands = 1000000;
    const QTemporaryDir dir;
    const QString crLf = dir.filePath(QStringLiteral("crlf.conf"));
    const QString cr = dir.filePath(QStringLiteral("cr.conf"));
    if (!writeConfiguration(crLf, commands) || !writeConfiguration(cr, commands, "\r")) {
        std::fprintf(stderr, "cannot write the configuration files\n");
        return 1;
    }
    registerReadBenchmarks(crLf, cr, commands);
    registerParseBenchmarks();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
