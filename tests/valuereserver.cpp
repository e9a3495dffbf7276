// Reserves values from a shared state file, as a program of its own, so that
// tests can run several at once. Prints one line per reservation: the
// assignment as compact JSON, or "used up".
//
// Usage: valuereserver STATE LIST COUNTER COUNT PORT
#include "values/commandtemplate.h"
#include "values/valuereservations.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (arguments.size() != 6) {
        err << "usage: valuereserver STATE LIST COUNTER COUNT PORT\n";
        return 2;
    }
    ValueReservations reservations;
    QString error;
    if (!reservations.open({arguments.at(2), {arguments.at(3)}, arguments.at(1)}, CommandTemplate({}, {}), error)) {
        err << error << '\n';
        return 2;
    }
    for (int i = 0; i < arguments.at(4).toInt(); ++i) {
        const auto reservation = reservations.reserve({QString(), arguments.at(5), QString::number(i)});
        if (reservation.outcome == ValueReservations::Reservation::Assigned)
            out << QJsonDocument(reservation.assignment.toJson()).toJson(QJsonDocument::Compact) << '\n';
        else if (reservation.outcome == ValueReservations::Reservation::UsedUp)
            out << "used up\n";
        else
            err << reservation.error << '\n';
        out.flush();
    }
    return 0;
}
