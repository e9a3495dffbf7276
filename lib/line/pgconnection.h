#ifndef PGCONNECTION_H
#define PGCONNECTION_H

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

struct pg_conn;
struct pg_result;

// One libpq connection, used by the thread that made it and no other. Every
// statement goes with bound parameters; texts in, texts out.
class PgConnection
{
public:
    // What went wrong, as far as the program can tell and the user can mend.
    enum Fault {
        None,
        Unreachable,     // no server at that address, or it refused us
        PasswordFailed,  // a password was wrong or missing
        UntrustedServer, // its certificate is not signed by the authority we trust
        WrongServerName, // its certificate names another server
        MissingDatabase, // the server has no such database
        NoSchema,        // `db init` was never run there
        OlderSchema,     // `db init` of this version was not run there
        NewerSchema,     // made by a newer program
        NoPrivilege,     // the role may not do what the program needs
        Failed,          // a statement failed otherwise
    };
    // The rows a statement returned, each a list of texts (null as a null
    // QString).
    struct Result
    {
        bool ok = false;
        QString sqlState;
        QString error;
        QVector<QStringList> rows;
        int affected = 0;

        QString value(int row = 0, int column = 0) const { return rows.value(row).value(column); }
    };

    // What a NOTIFY brought to a connection that LISTENs.
    struct Notification
    {
        QString channel;
        QString payload;
    };

    PgConnection();
    ~PgConnection();
    PgConnection(const PgConnection &) = delete;
    PgConnection &operator=(const PgConnection &) = delete;

    // Connects to what libpq makes of `url` (a URI or key=value words; the
    // environment, ~/.pgpass and the service file as libpq reads them). A
    // server that does not answer is given up on after 10 s, and one lost
    // mid-statement after about 30 s, unless the URL says otherwise.
    bool open(const QString &url, QString &error);
    bool isOpen() const;
    Fault fault() const;
    void close();

    Result exec(const QString &sql, const QStringList &parameters = {});
    // The next notification for a channel this connection LISTENs to,
    // waiting up to `ms` for it; false at the time-out or when the
    // connection is lost (then closed).
    bool nextNotification(int ms, Notification &notification);
    // Statements made one: false, after a rollback, when one fails.
    bool begin();
    bool commit();
    void rollback();

    // What to do about `fault`, for a message.
    static QString remedy(Fault fault);

private:
    pg_conn *connection = nullptr;
    Fault lastFault = None;
};

#endif // PGCONNECTION_H
