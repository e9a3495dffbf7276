#include "line/pgconnection.h"

#include <QDeadlineTimer>
#include <QRegularExpression>

#include <libpq-fe.h>

#include <poll.h>

namespace {

// Messages from libpq end in a line end, sometimes two lines.
QString messageOf(const char *text)
{
    return QString::fromUtf8(text).trimmed().replace(QLatin1Char('\n'), QLatin1String("; "));
}

// The server says which, in words only: a failed connection has no SQLSTATE.
PgConnection::Fault connectionFault(pg_conn *connection, const QString &message)
{
    if (PQconnectionNeedsPassword(connection) || message.contains(QLatin1String("password authentication failed"))
        || message.contains(QLatin1String("no password supplied")))
        return PgConnection::PasswordFailed;
    if (message.contains(QLatin1String("certificate verify failed")))
        return PgConnection::UntrustedServer;
    if (message.contains(QLatin1String("does not match host name")))
        return PgConnection::WrongServerName;
    if (message.contains(QRegularExpression(QStringLiteral("database \".*\" does not exist"))))
        return PgConnection::MissingDatabase;
    if (message.contains(QLatin1String("permission denied")))
        return PgConnection::NoPrivilege;
    return PgConnection::Unreachable;
}
} // namespace

PgConnection::PgConnection() = default;

PgConnection::~PgConnection()
{
    close();
}

bool PgConnection::open(const QString &url, QString &error)
{
    close();
    // A server that went dark (no answer at all, not a refusal) is given
    // up on in seconds rather than the system's minutes, so that a station's
    // threads never hang on it. What the URL sets itself comes last and wins.
    const QByteArray given = url.toUtf8();
    const char *const keywords[] = {"connect_timeout", "keepalives_idle", "keepalives_interval", "keepalives_count",
                                    "tcp_user_timeout", "dbname", nullptr};
    const char *const values[] = {"10", "10", "5", "3", "30000", given.constData(), nullptr};
    connection = PQconnectdbParams(keywords, values, 1);
    if (connection && PQstatus(connection) == CONNECTION_OK) {
        lastFault = None;
        return true;
    }
    error = connection ? messageOf(PQerrorMessage(connection)) : QStringLiteral("out of memory");
    lastFault = connectionFault(connection, error);
    close();
    return false;
}

bool PgConnection::isOpen() const
{
    return connection && PQstatus(connection) == CONNECTION_OK;
}

PgConnection::Fault PgConnection::fault() const
{
    return lastFault;
}

void PgConnection::close()
{
    if (connection)
        PQfinish(connection);
    connection = nullptr;
}

PgConnection::Result PgConnection::exec(const QString &sql, const QStringList &parameters)
{
    Result result;
    if (!connection) {
        lastFault = Unreachable;
        result.error = QStringLiteral("not connected");
        return result;
    }
    QVector<QByteArray> bytes;
    QVector<const char *> values;
    for (const QString &parameter : parameters)
        bytes << parameter.toUtf8();
    for (int i = 0; i < parameters.size(); ++i)
        values << (parameters.at(i).isNull() ? nullptr : bytes.at(i).constData());
    PGresult *answer = PQexecParams(connection, sql.toUtf8().constData(), int(values.size()), nullptr,
                                    values.constData(), nullptr, nullptr, 0);
    const ExecStatusType status = PQresultStatus(answer);
    result.ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
    if (result.ok) {
        for (int row = 0; row < PQntuples(answer); ++row) {
            QStringList texts;
            for (int column = 0; column < PQnfields(answer); ++column)
                texts << (PQgetisnull(answer, row, column) ? QString()
                                                          : QString::fromUtf8(PQgetvalue(answer, row, column)));
            result.rows << texts;
        }
        result.affected = QByteArray(PQcmdTuples(answer)).toInt();
        lastFault = None;
    } else {
        result.sqlState = QString::fromLatin1(PQresultErrorField(answer, PG_DIAG_SQLSTATE));
        result.error = messageOf(PQerrorMessage(connection));
        lastFault = PQstatus(connection) != CONNECTION_OK ? Unreachable
                    : result.sqlState == QLatin1String("42501") ? NoPrivilege
                    : result.sqlState == QLatin1String("3F000") ? NoSchema
                                                                 : Failed;
    }
    PQclear(answer);
    if (PQstatus(connection) != CONNECTION_OK)
        close();
    return result;
}

bool PgConnection::nextNotification(int ms, Notification &notification)
{
    const QDeadlineTimer deadline(ms);
    while (connection && PQconsumeInput(connection)) {
        if (PGnotify *notify = PQnotifies(connection)) {
            notification.channel = QString::fromUtf8(notify->relname);
            notification.payload = QString::fromUtf8(notify->extra);
            PQfreemem(notify);
            return true;
        }
        pollfd readable{PQsocket(connection), POLLIN, 0};
        const int left = int(deadline.remainingTime());
        if (left == 0 || ::poll(&readable, 1, left) == 0)
            return false;
    }
    lastFault = Unreachable;
    close();
    return false;
}

bool PgConnection::begin()
{
    return exec(QStringLiteral("BEGIN")).ok;
}

bool PgConnection::commit()
{
    return exec(QStringLiteral("COMMIT")).ok;
}

void PgConnection::rollback()
{
    if (connection)
        exec(QStringLiteral("ROLLBACK"));
}

QString PgConnection::remedy(Fault fault)
{
    switch (fault) {
    case None: return {};
    case Unreachable:
        return QStringLiteral("the database server cannot be reached: check the host (or socket folder) and port "
                              "in the URL, and that the server runs and accepts connections from this computer");
    case PasswordFailed:
        return QStringLiteral("the server refused the password: give the role's password in ~/.pgpass, "
                              "PGPASSFILE or PGPASSWORD (never on the command line), or ask the database's "
                              "owner to set it");
    case UntrustedServer:
        return QStringLiteral("the server's certificate was not signed by the trusted authority (sslrootcert in "
                              "the URL, or ~/.postgresql/root.crt): this may not be the line's server; get the "
                              "authority's certificate from whoever runs the server, never trust one the server "
                              "itself offers");
    case WrongServerName:
        return QStringLiteral("the server's certificate is for another name than the host in the URL: name the "
                              "server in the URL as its certificate does");
    case MissingDatabase:
        return QStringLiteral("the server has no such database: create it (createdb, as its owner), then run "
                              "morlank-cli db init URL");
    case NoSchema:
        return QStringLiteral("the database has no morlank schema: run morlank-cli db init URL as the "
                              "database's owner");
    case OlderSchema:
        return QStringLiteral("the database's morlank schema is older than this program: run morlank-cli db "
                              "init URL as the database's owner to upgrade it");
    case NewerSchema:
        return QStringLiteral("the database's morlank schema was made by a newer Morlank: use that version, "
                              "or a database of this version's");
    case NoPrivilege:
        return QStringLiteral("the role may not do what a station needs: it needs the role morlank_station "
                              "(morlank-cli db grant LOGIN station)");
    case Failed: break;
    }
    return QStringLiteral("the database refused a statement");
}
