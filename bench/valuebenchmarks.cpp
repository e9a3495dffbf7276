// Google Benchmark runner for per-unit values: filling placeholders and
// reserving values in a state file.
#include "values/commandtemplate.h"
#include "values/valuelist.h"
#include "values/valuereservations.h"
#include "values/valuestate.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {
const int listRows = 100000;
const int columns = 10;
const int commandCount = 1000;
// Reservations per run of a reservation benchmark: each takes a row for good.
const int reservationsPerRun = 40;
// Fewer where each reads the whole state again: it takes a second.
const int sharedReservationsPerRun = 10;

QByteArray listText(int rows)
{
    QByteArray csv;
    for (int column = 0; column < columns; ++column)
        csv += (column ? ",C" : "C") + QByteArray::number(column);
    csv += '\n';
    for (int row = 1; row <= rows; ++row) {
        for (int column = 0; column < columns; ++column)
            csv += (column ? ",R" : "R") + QByteArray::number(row) + '-' + QByteArray::number(column);
        csv += '\n';
    }
    return csv;
}

// 1,000 commands, each with a placeholder for every column.
CommandTemplate commandTemplate()
{
    QStringList commands;
    QVector<int> lines;
    for (int i = 0; i < commandCount; ++i) {
        QString command = QStringLiteral("ZEL#SET%1=").arg(i);
        for (int column = 0; column < columns; ++column)
            command += QStringLiteral("{{C%1}};").arg(column);
        commands << command + QLatin1Char('\r');
        lines << i + 1;
    }
    return CommandTemplate(commands, lines);
}

void fill(benchmark::State &state)
{
    static const ValueList list = [] {
        ValueList parsed;
        QString error;
        parsed.parse(listText(listRows), QStringLiteral("units.csv"), error);
        return parsed;
    }();
    static const CommandTemplate commands = commandTemplate();
    QStringList filled;
    QString error;
    int row = 0;
    for (auto _ : state) {
        row = row % listRows + 1;
        if (list.rowCount() != listRows || !commands.fill(list.assignmentOf(row), filled, error)
            || filled.size() != commandCount) {
            state.SkipWithError("the commands were not filled");
            break;
        }
        benchmark::DoNotOptimize(filled.constFirst().constData());
    }
    state.SetItemsProcessed(state.iterations());
}

// A state file of the list at `listPath` with its first `rows` rows handed out.
bool writeState(const QString &path, const QString &listPath, int rows)
{
    ValueList list;
    QString error;
    if (!list.load(listPath, error))
        return false;
    ValueState handedOut;
    handedOut.setList({list.absolutePath(), list.sha256(), list.rowCount()});
    for (int row = 1; row <= rows; ++row) {
        handedOut.add({row, QJsonObject(), QStringLiteral("/dev/ttyUSB0"),
                       QStringLiteral("pci-0000:00:14.0-usb-0:2:1.0"),
                       QStringLiteral("FT%1").arg(row, 6, 10, QLatin1Char('0')),
                       QStringLiteral("2026-12-07T21:04:05+01:00")});
    }
    QFile file(path);
    const QByteArray bytes = handedOut.toJson();
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// With `programs` 2, two objects sharing the state file take turns, as two
// programs would: each finds the file changed by the other and reads it again.
void reserve(benchmark::State &state, int alreadyHandedOut, int programs)
{
    QTemporaryDir folder;
    const QString listPath = folder.filePath(QStringLiteral("units.csv"));
    const QString statePath = folder.filePath(QStringLiteral("state.json"));
    QFile listFile(listPath);
    const QByteArray csv = listText(alreadyHandedOut + reservationsPerRun);
    if (!listFile.open(QIODevice::WriteOnly) || listFile.write(csv) != csv.size() || !listFile.flush()
        || (alreadyHandedOut > 0 && !writeState(statePath, listPath, alreadyHandedOut))) {
        state.SkipWithError("cannot write the list or the state");
        return;
    }
    std::vector<std::unique_ptr<ValueReservations>> reservations;
    QString error;
    for (int i = 0; i < programs; ++i) {
        reservations.push_back(std::make_unique<ValueReservations>());
        if (!reservations.back()->open({listPath, {QStringLiteral("SN=000001")}, statePath},
                                       CommandTemplate({}, {}), error)) {
            state.SkipWithError(qPrintable(error));
            return;
        }
    }
    int turn = 0;
    for (auto _ : state) {
        const auto reservation = reservations.at(turn++ % programs)->reserve(
            {QStringLiteral("FT999999"), QStringLiteral("/dev/ttyUSB0"), QStringLiteral("slot")});
        if (reservation.outcome != ValueReservations::Reservation::Assigned) {
            state.SkipWithError(qPrintable(reservation.error));
            break;
        }
    }
    state.counters["state_bytes"] = QFileInfo(statePath).size();
}
void registerValueBenchmarks()
{
    benchmark::RegisterBenchmark("values/fill", fill)->Unit(benchmark::kMicrosecond);
    for (int handedOut : {0, 100000}) {
        for (int programs : {1, 2}) {
            const std::string name = "values/reserve/handed_out:" + std::to_string(handedOut)
                                     + "/programs:" + std::to_string(programs);
            const bool slow = handedOut > 0 && programs > 1;
            benchmark::RegisterBenchmark(name.c_str(), reserve, handedOut, programs)
                ->Unit(benchmark::kMillisecond)
                ->Iterations(slow ? sharedReservationsPerRun : reservationsPerRun)
                ->UseRealTime();
        }
    }
}
} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    registerValueBenchmarks();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
