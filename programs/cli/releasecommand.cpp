#include "cli/releasecommand.h"

#include "jobs/configuration.h"
#include "line/databaseurl.h"
#include "line/lineschema.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QTextStream>

#include <cstdio>

namespace {
void print(FILE *stream, const QString &text)
{
    QTextStream(stream) << text << Qt::flush;
}

int failed(const QString &message, int status = 2)
{
    print(stderr, QStringLiteral("morlank-cli: %1\n").arg(message));
    return status;
}

// The bytes of `fileName` if it is a configuration Morlank would download.
bool readReleasable(const QString &fileName, QByteArray &bytes, QString &error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(fileName, file.errorString());
        return false;
    }
    bytes = file.read(LineReleases::maxBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        error = QStringLiteral("cannot read %1: %2").arg(fileName, file.errorString());
        return false;
    }
    if (bytes.size() > LineReleases::maxBytes) {
        error = QStringLiteral("%1 is larger than 1 MiB, the most a release holds").arg(fileName);
        return false;
    }
    Configuration configuration;
    return configuration.read(fileName, bytes, error);
}
} // namespace

ReleaseCommand::ReleaseCommand(const Request &r)
    : request(r)
{
}

int ReleaseCommand::run()
{
    QByteArray bytes;
    QString error;
    if (request.command == Request::ReleaseAdd && !readReleasable(request.file, bytes, error))
        return failed(QStringLiteral("not released: %1").arg(error));
    if (!LineSchema::checkUse(request.db, LineSchema::Releasing, error))
        return failed(error);
    PgConnection connection;
    if (!connection.open(request.db, error))
        return failed(QStringLiteral("cannot use the database %1: %2").arg(DatabaseUrl::masked(request.db), error));
    LineReleases releases(connection);
    switch (request.command) {
    case Request::ReleaseAdd: return add(releases, bytes);
    case Request::ReleaseList: return list(releases);
    case Request::ReleaseShow: return show(releases);
    default: return revoke(releases);
    }
}

int ReleaseCommand::add(LineReleases &releases, const QByteArray &bytes)
{
    LineReleases::Release release;
    bool added = false;
    QString error;
    if (!releases.add(request.name, bytes, request.note, release, added, error))
        return failed(QStringLiteral("release add: %1").arg(error), 1);
    print(stdout, added ? QStringLiteral("Released %1 as %2 (SHA-256 %3).\n")
                              .arg(request.file, release.label(), release.sha256)
                        : QStringLiteral("%1 holds the same bytes as %2%3: no new revision.\n")
                              .arg(request.file, release.label(),
                                   release.isRevoked() ? QStringLiteral(", which is revoked") : QString()));
    return 0;
}

int ReleaseCommand::list(LineReleases &releases)
{
    QVector<LineReleases::Release> all;
    QString error;
    if (!releases.list(all, error))
        return failed(QStringLiteral("release list: %1").arg(error));
    QJsonArray json;
    QString lines;
    for (const LineReleases::Release &release : all) {
        json << release.toJson();
        lines += text(release);
    }
    print(stdout, request.json ? QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Indented))
                  : all.isEmpty() ? QStringLiteral("The line has no release yet.\n")
                                  : lines);
    return 0;
}

int ReleaseCommand::show(LineReleases &releases)
{
    QString name;
    int revision = 0;
    QString error;
    LineReleases::parseReference(request.release, name, revision, error);
    LineReleases::Release release;
    if (!releases.find(name, revision, !request.bytesFile.isEmpty(), release, error))
        return failed(QStringLiteral("release show: %1.").arg(error));
    if (!request.bytesFile.isEmpty()) {
        QSaveFile file(request.bytesFile);
        if (!file.open(QIODevice::WriteOnly) || file.write(release.bytes) != release.bytes.size() || !file.commit())
            return failed(QStringLiteral("cannot write %1: %2").arg(request.bytesFile, file.errorString()), 1);
    }
    print(stdout, request.json ? QString::fromUtf8(QJsonDocument(release.toJson()).toJson(QJsonDocument::Indented))
                               : text(release));
    return 0;
}

int ReleaseCommand::revoke(LineReleases &releases)
{
    QString name;
    int revision = 0;
    QString error;
    LineReleases::parseReference(request.release, name, revision, error);
    LineReleases::Release release;
    if (!releases.revoke(name, revision, request.reason, release, error))
        return failed(QStringLiteral("release revoke: %1.").arg(error));
    print(stdout, QStringLiteral("Revoked %1: every station running it stops taking units within 10 s.\n")
                      .arg(release.label()));
    return 0;
}

QString ReleaseCommand::text(const LineReleases::Release &release)
{
    QString line = QStringLiteral("%1  SHA-256 %2  %3 bytes  released %4 by %5 (%6 on %7)")
                       .arg(release.label(), release.sha256)
                       .arg(release.size)
                       .arg(release.releasedAt, release.releasedBy, release.osUser, release.host);
    if (!release.note.isEmpty())
        line += QStringLiteral("  note: ") + release.note;
    if (release.isRevoked())
        line += QStringLiteral("\n    revoked %1 by %2: %3").arg(release.revokedAt, release.revokedBy, release.revokeReason);
    return line + QLatin1Char('\n');
}
