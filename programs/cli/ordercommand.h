#ifndef ORDERCOMMAND_H
#define ORDERCOMMAND_H

#include "cli/request.h"

#include "line/lineorders.h"

#include <QJsonObject>

// morlank-cli order add, list and close: the line's work orders.
class OrderCommand
{
public:
    explicit OrderCommand(const Request &request);

    // The exit status: 2 when the order cannot be added or closed.
    int run();
    // One order's line as `order list` and `db status` print it.
    static QString orderLine(const QJsonObject &order);

private:
    int list(PgConnection &db);

    const Request request;
};

#endif // ORDERCOMMAND_H
