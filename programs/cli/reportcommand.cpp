#include "cli/reportcommand.h"

#include "cli/figurestext.h"
#include "figures/figuresjson.h"
#include "figures/reportpage.h"
#include "figures/reportreader.h"
#include "cli/ordercommand.h"
#include "line/databaserecords.h"
#include "line/lineorders.h"
#include "records/logsource.h"

#include <QJsonDocument>
#include <QSaveFile>
#include <QTextStream>

namespace {
void print(FILE *stream, const QString &text)
{
    QTextStream(stream) << text << Qt::flush;
}

int failWith(const QString &message)
{
    print(stderr, QStringLiteral("morlank-cli: %1\n").arg(message));
    return 2;
}
} // namespace

ReportCommand::ReportCommand(const ReportOptions &options)
    : options(options)
{
}

int ReportCommand::run()
{
    QString error;
    std::unique_ptr<RecordSource> database;
    if (!options.database.isNull() && !(database = databaseRecords(options.database, options.selection.sinceMs,
                                                                               options.selection.untilMs, error)))
        return failWith(error);
    LogSource logs(options.logs);
    if (!logs.check(error))
        return failWith(error);

    // Each skipped record named once, as it is met.
    const ReportReader reader(options.selection, [](const SkippedRecord &record) {
        print(stderr, QStringLiteral("morlank-cli: skipped %1 line %2: %3\n").arg(record.origin).arg(record.line).arg(record.reason));
    });
    ShiftFigures counted;
    if (!reader.read(logs, counted))
        return failWith(logs.error());
    if (database && !reader.read(*database, counted))
        return failWith(database->error());

    QJsonObject order;
    if (!options.order.isEmpty() && !readOrder(order, error))
        return failWith(error);
    if (!order.isEmpty() && !options.json)
        print(stdout, QStringLiteral("Order:\n") + OrderCommand::orderLine(order));
    const Figures figures = counted.figures();
    if (figures.records == 0 && !order.isEmpty()) {
        if (options.json)
            print(stdout, QString::fromUtf8(QJsonDocument(QJsonObject{{"order", order}}).toJson(QJsonDocument::Compact)) + '\n');
        return 0;
    }
    if (figures.records == 0) {
        print(stderr, QStringLiteral("morlank-cli: no record in the selection (%1).\n").arg(options.selectionText));
        return 1;
    }
    if (!options.html.isEmpty() && !writePage(ReportPage::html(figures, options.selectionText), error))
        return failWith(error);
    QJsonObject json = FiguresJson::toJson(figures);
    if (!order.isEmpty())
        json.insert(QStringLiteral("order"), order);
    print(stdout, options.json ? QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Compact)) + QLatin1Char('\n')
                               : FiguresText::text(figures));
    return 0;
}

// The order's counts from the line's database, as `order list` shows them.
bool ReportCommand::readOrder(QJsonObject &order, QString &error) const
{
    PgConnection db;
    LineOrders::Order found;
    if (!db.open(options.database, error) || !LineOrders::find(db, options.order, found, error))
        return false;
    order = found.toJson();
    return true;
}

bool ReportCommand::writePage(const QByteArray &page, QString &error) const
{
    QSaveFile file(options.html);
    if (file.open(QIODevice::WriteOnly) && file.write(page) == page.size() && file.commit())
        return true;
    error = QStringLiteral("cannot write the page %1: %2").arg(options.html, file.errorString());
    return false;
}
