// One process of the reservation benchmark: takes COUNT values from the
// list FILE.csv in the line's database URL, one unit after the other, and
// prints the time its reservations started and ended (ms since the epoch)
// and then each reservation's time in microseconds, one a line.
#include "line/databasevalues.h"
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
    if (arguments.size() != 4) {
        QTextStream(stderr) << "usage: morlank-bench-linereserver URL FILE.csv COUNT\n";
        return 2;
    }
    DatabaseValues values(arguments.at(1), QStringLiteral("bench"));
    QString error;
    if (!values.open({arguments.at(2), {}, {}}, CommandTemplate({}, {}), error)) {
        QTextStream(stderr) << error << '\n';
        return 2;
    }
    const int count = arguments.at(3).toInt();
    QVector<qint64> micros;
    micros.reserve(count);
    const qint64 started = QDateTime::currentMSecsSinceEpoch();
    for (int unit = 0; unit < count; ++unit) {
        QElapsedTimer one;
        one.start();
        const auto reservation = values.reserve({QString(), QStringLiteral("port"), QStringLiteral("slot")});
        if (reservation.outcome != ValueSource::Reservation::Assigned) {
            QTextStream(stderr) << reservation.error << '\n';
            return 1;
        }
        micros << one.nsecsElapsed() / 1000;
    }
    out << started << ' ' << QDateTime::currentMSecsSinceEpoch() << '\n';
    for (const qint64 micro : micros)
        out << micro << '\n';
    return 0;
}
