#include "parsebenchmarks.h"

#include "device/replyparser.h"

#include <QStringList>

#include <benchmark/benchmark.h>

namespace {
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
} // namespace

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
