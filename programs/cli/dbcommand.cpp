#include "cli/dbcommand.h"

#include "cli/ordercommand.h"
#include "line/databaseurl.h"
#include "line/lineaudit.h"
#include "line/lineroles.h"
#include "line/linesettings.h"
#include "line/lineschema.h"
#include "line/linestatus.h"
#include "line/pgconnection.h"
#include "records/spool.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTextStream>

#include <cstdio>

namespace {
void print(FILE *stream, const QString &text)
{
    QTextStream(stream) << text << Qt::flush;
}

void printError(const QString &message)
{
    print(stderr, QStringLiteral("morlank-cli: %1\n").arg(message));
}
} // namespace

DbCommand::DbCommand(const Request &r)
    : request(r)
{
}

int DbCommand::run()
{
    PgConnection connection;
    if (!connect(connection))
        return 2;
    switch (request.command) {
    case Request::DbInit: return init(connection);
    case Request::DbGrant: return grant(connection);
    case Request::DbSet: return set(connection);
    case Request::DbAudit: return audit(connection);
    default: return status(connection);
    }
}

bool DbCommand::connect(PgConnection &connection)
{
    QString error;
    if (connection.open(request.db, error))
        return true;
    printError(QStringLiteral("cannot use the database %1: %2 (the server or libpq said: %3).")
                   .arg(DatabaseUrl::masked(request.db), PgConnection::remedy(connection.fault()), error));
    return false;
}

int DbCommand::init(PgConnection &connection)
{
    QString error;
    const int before = LineSchema::installedVersion(connection, error);
    if (before < 0 || !LineSchema::init(connection, error)) {
        const QString remedy =
            connection.fault() == PgConnection::NoPrivilege
                ? QStringLiteral("; run db init as the database's owner, or a role that may create a schema in it")
                : QString();
        printError(QStringLiteral("db init: %1%2").arg(error, remedy));
        return 2;
    }
    print(stdout, before == LineSchema::version
                      ? QStringLiteral("The schema morlank of %1 is of version %2 already; nothing changed.\n")
                            .arg(DatabaseUrl::masked(request.db))
                            .arg(LineSchema::version)
                      : QStringLiteral("The schema morlank of %1 is now of version %2.\n")
                            .arg(DatabaseUrl::masked(request.db))
                            .arg(LineSchema::version));
    return 0;
}

int DbCommand::status(PgConnection &connection)
{
    QString error;
    const int found = LineSchema::installedVersion(connection, error);
    if (found != LineSchema::version) {
        printError(QStringLiteral("db status: %1").arg(LineSchema::versionRemedy(found, error)));
        return 2;
    }
    QJsonObject status{{"database", DatabaseUrl::masked(request.db)}, {"schema_version", LineSchema::version}};
    if (!LineStatus::read(connection, status, error)) {
        printError(QStringLiteral("db status: %1; it needs SELECT on the tables of the schema morlank").arg(error));
        return 2;
    }
    const QString spool = Spool::userPath();
    status.insert(QStringLiteral("spool"),
                  QJsonObject{{"file", spool}, {"waiting", Spool::waitingIn(spool)}});
    print(stdout, request.json ? QString::fromUtf8(QJsonDocument(status).toJson(QJsonDocument::Indented))
                               : statusText(status));
    return 0;
}

int DbCommand::grant(PgConnection &connection)
{
    QString error;
    if (!LineRoles::grant(connection, request.login, request.roleKind, error)) {
        printError(QStringLiteral("db grant: %1").arg(error));
        return 2;
    }
    print(stdout, QStringLiteral("%1 now holds the role %2.\n").arg(request.login, LineRoles::groupOf(request.roleKind)));
    return 0;
}

int DbCommand::set(PgConnection &connection)
{
    QString error;
    if (!LineSettings::set(connection, request.setting, request.settingOn, error)) {
        printError(QStringLiteral("db set: %1").arg(error));
        return 2;
    }
    print(stdout, QStringLiteral("%1 is now %2 for the line %3.\n")
                      .arg(request.setting, request.settingOn ? QStringLiteral("on") : QStringLiteral("off"),
                           DatabaseUrl::masked(request.db)));
    return 0;
}

int DbCommand::audit(PgConnection &connection)
{
    QString error;
    QJsonArray rows;
    if (!LineAudit::read(connection, request.since, rows, error)) {
        const bool refused = connection.fault() == PgConnection::NoPrivilege;
        printError(QStringLiteral("db audit: %1%2").arg(error, refused ? QStringLiteral("; it %1").arg(LineRoles::needed(QStringLiteral("reader")))
                                                                    : QString()));
        return 2;
    }
    print(stdout, request.json ? QString::fromUtf8(QJsonDocument(rows).toJson(QJsonDocument::Indented))
                               : auditText(rows));
    return 0;
}

QString DbCommand::auditText(const QJsonArray &rows)
{
    QString text;
    QTextStream out(&text);
    for (const QJsonValue row : rows) {
        out << row["time"].toString() << "  " << row["action"].toString() << "  by " << row["role"].toString()
            << " (" << row["os_user"].toString() << '@' << row["host"].toString() << ")  "
            << QString::fromUtf8(QJsonDocument(row["details"].toObject()).toJson(QJsonDocument::Compact)) << '\n';
    }
    return text;
}

QString DbCommand::statusText(const QJsonObject &status)
{
    QString text;
    QTextStream out(&text);
    out << "Database " << status.value("database").toString() << ", schema version "
        << status.value("schema_version").toInt() << "\n\nValues lists:\n";
    for (const QJsonValue list : status.value("lists").toArray()) {
        out << "  " << list["name"].toString() << "  SHA-256 " << list["sha256"].toString() << "  "
            << list["rows"].toInt() << " rows, " << list["handed_out"].toInt() << " handed out, "
            << list["left"].toInt() << " left"
            << (list["edited"].toBool() ? "  (an edited file: a new list)" : "") << '\n';
    }
    out << "Counters:\n";
    for (const QJsonValue counter : status.value("counters").toArray()) {
        out << "  " << counter["name"].toString() << "  next " << counter["next"].toString() << ", width "
            << counter["width"].toInt() << '\n';
    }
    out << "Stations:\n";
    for (const QJsonValue station : status.value("stations").toArray()) {
        out << "  " << station["station"].toString() << "  last record " << station["last_record"].toString()
            << ", " << station["records_today"].toInt() << " records today\n";
    }
    out << "Orders:\n";
    for (const QJsonValue order : status.value("orders").toArray())
        out << OrderCommand::orderLine(order.toObject());
    const QJsonObject spool = status.value("spool").toObject();
    out << "This computer's spool " << spool["file"].toString() << ": " << spool["waiting"].toInt()
        << " records wait for the database\n";
    return text;
}
