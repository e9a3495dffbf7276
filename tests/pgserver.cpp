#include "pgserver.h"

#include "line/pgconnection.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
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

// A TCP port on 127.0.0.1 that nothing listens on now.
int freePort()
{
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    const bool found = ::bind(probe, reinterpret_cast<sockaddr *>(&address), size) == 0
                       && ::getsockname(probe, reinterpret_cast<sockaddr *>(&address), &size) == 0;
    ::close(probe);
    return found ? ntohs(address.sin_port) : 0;
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

bool PgServer::start(QString &error, Transport transport)
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
    if (transport == Tls && tlsPort == 0 && (!makeCertificates(error) || (tlsPort = freePort()) == 0))
        return false;
    running = run(bin + QStringLiteral("pg_ctl"),
                  {QStringLiteral("-D"), dir.filePath(QStringLiteral("data")), QStringLiteral("-o"), serverOptions(),
                   QStringLiteral("-l"), dir.filePath(QStringLiteral("server.log")), QStringLiteral("-w"),
                   QStringLiteral("start")},
                  output);
    error = output;
    return running;
}

// The socket in the folder; with TLS, 127.0.0.1 as well (initdb's
// pg_hba.conf asks the password there as on the socket).
QString PgServer::serverOptions() const
{
    const QString options = QStringLiteral("-k %1 -c fsync=off").arg(dir.path());
    if (tlsPort == 0)
        return options + QStringLiteral(" -c listen_addresses=''");
    return options
           + QStringLiteral(" -c listen_addresses=127.0.0.1 -p %1 -c ssl=on -c ssl_cert_file=%2 -c ssl_key_file=%3")
                 .arg(tlsPort)
                 .arg(dir.filePath(QStringLiteral("server.crt")), dir.filePath(QStringLiteral("server.key")));
}

// The authority, a key and a certificate for localhost that it signs, and a
// second authority; the key readable by the server's user alone.
bool PgServer::makeCertificates(QString &error)
{
    QFile names(dir.filePath(QStringLiteral("names.cnf")));
    if (!names.open(QIODevice::WriteOnly) || names.write("subjectAltName=DNS:localhost\n") < 0) {
        error = QStringLiteral("cannot write %1").arg(names.fileName());
        return false;
    }
    names.close();
    const QString key = QStringLiteral("-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes ");
    for (const QString &step :
         {QStringLiteral("req -x509 -days 2 ") + key + QStringLiteral("-subj /CN=authority -keyout authority.key -out authority.pem"),
          QStringLiteral("req -x509 -days 2 ") + key
              + QStringLiteral("-subj /CN=other-authority -keyout other-authority.key -out other-authority.pem"),
          QStringLiteral("req ") + key + QStringLiteral("-subj /CN=localhost -keyout server.key -out server.csr"),
          QStringLiteral("x509 -req -in server.csr -CA authority.pem -CAkey authority.key -CAcreateserial -days 2 "
                         "-extfile names.cnf -out server.crt")}) {
        if (!run(QStringLiteral("openssl"), step.split(QLatin1Char(' ')), error))
            return false;
    }
    return QFile::setPermissions(dir.filePath(QStringLiteral("server.key")), QFile::ReadOwner | QFile::WriteOwner);
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
    // With TLS the server's one port names its socket too.
    const QString host = tlsPort ? QStringLiteral("%1&port=%2").arg(dir.path()).arg(tlsPort) : dir.path();
    if (secret.isEmpty())
        return QStringLiteral("postgresql:///%1?host=%2&user=%3").arg(database, host, role);
    return QStringLiteral("postgresql://%1:%2@/%3?host=%4").arg(role, secret, database, host);
}

QString PgServer::tlsUrl(const QString &database, const QString &role, const QString &authority) const
{
    return QStringLiteral("postgresql://localhost:%1/%2?user=%3&sslmode=verify-full&sslrootcert=%4")
        .arg(tlsPort)
        .arg(database, role, authority);
}

QString PgServer::authority() const
{
    return dir.filePath(QStringLiteral("authority.pem"));
}

QString PgServer::otherAuthority() const
{
    return dir.filePath(QStringLiteral("other-authority.pem"));
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
