#ifndef PGSERVER_H
#define PGSERVER_H

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A throw-away PostgreSQL server for one test: made with initdb in a
// temporary folder, listening on a Unix socket there only, run as the user
// postgres when the test runs as root (the server refuses root). The
// superuser `owner` and every role made by a test log in with a password.
// Started with Tls, it also listens on 127.0.0.1 with TLS on, its
// certificate (for the name localhost) signed by a certificate authority
// made for it with the openssl command; a second authority signs nothing
// of it.
class PgServer
{
public:
    enum Transport { SocketOnly, Tls };

    PgServer();
    ~PgServer();

    // False, with what went wrong in `error`. The transport is kept for a
    // start after a stop.
    bool start(QString &error, Transport transport = SocketOnly);
    // `immediate`: as a crash, no checkpoint.
    bool stop(bool immediate = false);
    QString folder() const;
    // A libpq URL for `database` as `role`; the password goes in the URL
    // only when given.
    QString url(const QString &database, const QString &role = QStringLiteral("owner"),
                const QString &password = {}) const;
    // A URL through TCP and TLS, verify-full against `authority` (a file).
    QString tlsUrl(const QString &database, const QString &role, const QString &authority) const;
    // The authority that signed the server's certificate, and another.
    QString authority() const;
    QString otherAuthority() const;
    static QString ownerPassword();
    // Runs `sql` as the owner in `database`; the first column of the first
    // row, or "ERROR: ..." when it failed.
    QString query(const QString &database, const QString &sql, const QStringList &parameters = {}) const;

private:
    bool run(const QString &program, const QStringList &arguments, QString &output) const;
    bool makeCertificates(QString &error);
    QString serverOptions() const;

    QTemporaryDir dir;
    QString bin;
    bool running = false;
    int tlsPort = 0; // 0: no TLS
};

#endif // PGSERVER_H
