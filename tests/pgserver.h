#ifndef PGSERVER_H
#define PGSERVER_H

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A throw-away PostgreSQL server for one test: made with initdb in a
// temporary folder, listening on a Unix socket there only, run as the user
// postgres when the test runs as root (the server refuses root). The
// superuser `owner` and every role made by a test log in with a password.
class PgServer
{
public:
    PgServer();
    ~PgServer();

    // False, with what went wrong in `error`.
    bool start(QString &error);
    // `immediate`: as a crash, no checkpoint.
    bool stop(bool immediate = false);
    QString folder() const;
    // A libpq URL for `database` as `role`; the password goes in the URL
    // only when given.
    QString url(const QString &database, const QString &role = QStringLiteral("owner"),
                const QString &password = {}) const;
    static QString ownerPassword();
    // Runs `sql` as the owner in `database`; the first column of the first
    // row, or "ERROR: ..." when it failed.
    QString query(const QString &database, const QString &sql, const QStringList &parameters = {}) const;

private:
    bool run(const QString &program, const QStringList &arguments, QString &output) const;

    QTemporaryDir dir;
    QString bin;
    bool running = false;
};

#endif // PGSERVER_H
