// One process of the reservation benchmark: takes COUNT values from the
// list FILE.csv in the line's database URL, one unit after the other, and
// prints the time its reservations started and ended (ms since the epoch)
// and then each reservation's time in microseconds, one a line. With ORDER,
// each reservation also claims a unit of that work order; a claim refused
// (the order full) ends the run, and the first line then also gives the
// claims held.
#include "line/databasevalues.h"
#include "line/orderclaims.h"
#include "values/commandtemplate.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    QTextStream out(stdout);
    if (arguments.size() != 4 && arguments.size() != 5) {
        QTextStream(stderr) << "usage: morlank-bench-linereserver URL FILE.csv COUNT [ORDER]\n";
        return 2;
    }
    DatabaseValues values(arguments.at(1), QStringLiteral("bench"));
    QString error;
    if (!values.open({arguments.at(2), {}, {}}, CommandTemplate({}, {}), error)) {
        QTextStream(stderr) << error << '\n';
        return 2;
    }
    const int count = arguments.at(3).toInt();
    if (arguments.size() == 5)
        values.claimFor(std::make_shared<OrderClaims>(arguments.at(1), arguments.at(4), count));
    int claimed = 0;
    QVector<qint64> micros;
    micros.reserve(count);
    const qint64 started = QDateTime::currentMSecsSinceEpoch();
    for (int unit = 0; unit < count; ++unit) {
        QElapsedTimer one;
        one.start();
        const auto reservation = values.reserve({QString(), QStringLiteral("port"), QStringLiteral("slot")});
        if (reservation.outcome != ValueSource::Reservation::Assigned && arguments.size() == 5)
            break;
        if (reservation.outcome != ValueSource::Reservation::Assigned) {
            QTextStream(stderr) << reservation.error << '\n';
            return 1;
        }
        micros << one.nsecsElapsed() / 1000;
        ++claimed;
    }
    out << started << ' ' << QDateTime::currentMSecsSinceEpoch() << ' ' << claimed << '\n';
    for (const qint64 micro : micros)
        out << micro << '\n';
    return 0;
}
