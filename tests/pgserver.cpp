#include "pgserver.h"

#include "line/pgconnection.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <pwd.h>
#include <unistd.h>

namespace {
const QString password = QStringLiteral("Owner-secret-5");

// The newest server Debian installed, whatever its major version.
QString serverBin()
{
    QStringList versions = QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(versions.begin(), versions.end(), [](const QString &a, const QString &b) { return a.toInt() < b.toInt(); });
    return versions.isEmpty() ? QString() : QStringLiteral("/usr/lib/postgresql/%1/bin/").arg(versions.last());
}
} // namespace

PgServer::PgServer()
    : bin(serverBin())
{
}

PgServer::~PgServer()
{
    stop(true);
}

bool PgServer::start(QString &error)
{
    QString output;
    if (!running && !QFile::exists(dir.filePath(QStringLiteral("data")))) {
        if (::geteuid() == 0) {
            const passwd *postgres = ::getpwnam("postgres");
            if (!postgres || ::chown(QFile::encodeName(dir.path()).constData(), postgres->pw_uid, postgres->pw_gid) != 0) {
                error = QStringLiteral("no user postgres to run the server as");
                return false;
            }
        }
        QFile passwordFile(dir.filePath(QStringLiteral("pw")));
        passwordFile.open(QIODevice::WriteOnly);
        passwordFile.write(password.toUtf8() + '\n');
        passwordFile.close();
        passwordFile.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        if (!run(bin + QStringLiteral("initdb"),
                 {QStringLiteral("-D"), dir.filePath(QStringLiteral("data")), QStringLiteral("-U"),
                  QStringLiteral("owner"), QStringLiteral("--pwfile"), passwordFile.fileName(),
                  QStringLiteral("--auth=scram-sha-256"), QStringLiteral("--no-sync")},
                 output)) {
            error = output;
            return false;
        }
    }
    const QString options = QStringLiteral("-k %1 -c listen_addresses='' -c fsync=off").arg(dir.path());
    running = run(bin + QStringLiteral("pg_ctl"),
                  {QStringLiteral("-D"), dir.filePath(QStringLiteral("data")), QStringLiteral("-o"), options,
                   QStringLiteral("-l"), dir.filePath(QStringLiteral("server.log")), QStringLiteral("-w"),
                   QStringLiteral("start")},
                  output);
    error = output;
    return running;
}

bool PgServer::stop(bool immediate)
{
    if (!running)
        return true;
    QString output;
    running = !run(bin + QStringLiteral("pg_ctl"),
                   {QStringLiteral("-D"), dir.filePath(QStringLiteral("data")), QStringLiteral("-m"),
                    immediate ? QStringLiteral("immediate") : QStringLiteral("fast"), QStringLiteral("-w"),
                    QStringLiteral("stop")},
                   output);
    return !running;
}

QString PgServer::folder() const
{
    return dir.path();
}

QString PgServer::url(const QString &database, const QString &role, const QString &secret) const
{
    if (secret.isEmpty())
        return QStringLiteral("postgresql:///%1?host=%2&user=%3").arg(database, dir.path(), role);
    return QStringLiteral("postgresql://%1:%2@/%3?host=%4").arg(role, secret, database, dir.path());
}

QString PgServer::ownerPassword()
{
    return password;
}

QString PgServer::query(const QString &database, const QString &sql, const QStringList &parameters) const
{
    PgConnection connection;
    QString error;
    if (!connection.open(url(database, QStringLiteral("owner"), password), error))
        return QStringLiteral("ERROR: ") + error;
    const PgConnection::Result result = connection.exec(sql, parameters);
    return result.ok ? result.value() : QStringLiteral("ERROR: ") + result.error;
}

// As the user postgres when the test is root.
bool PgServer::run(const QString &program, const QStringList &arguments, QString &output) const
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(dir.path());
    if (::geteuid() == 0)
        process.start(QStringLiteral("runuser"), QStringList{QStringLiteral("-u"), QStringLiteral("postgres"),
                                                             QStringLiteral("--"), program} + arguments);
    else
        process.start(program, arguments);
    const bool ended = process.waitForFinished(120000);
    output = QString::fromLocal8Bit(process.readAll());
    return ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}
