#ifndef DBCOMMAND_H
#define DBCOMMAND_H

#include "cli/request.h"

#include <QJsonArray>
#include <QJsonObject>

class PgConnection;

// morlank-cli db init, db status, db grant, db set and db audit: the schema
// of a line's database, what it holds, who may use it and what was changed.
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
    int grant(PgConnection &connection);
    int set(PgConnection &connection);
    int audit(PgConnection &connection);
    static QString auditText(const QJsonArray &rows);
    static QString statusText(const QJsonObject &status);

    const Request request;
};

#endif // DBCOMMAND_H
