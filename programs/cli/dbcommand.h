#ifndef DBCOMMAND_H
#define DBCOMMAND_H

#include "cli/request.h"

#include <QJsonObject>

class PgConnection;

// morlank-cli db init and db status: the schema of a line's database, and
// what it holds.
class DbCommand
{
public:
    explicit DbCommand(const Request &request);

    // The exit status.
    int run();

private:
    bool connect(PgConnection &connection);
    int init(PgConnection &connection);
    int status(PgConnection &connection);
    static QString statusText(const QJsonObject &status);

    const Request request;
};

#endif // DBCOMMAND_H
