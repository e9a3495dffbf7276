#ifndef LINERELEASES_H
#define LINERELEASES_H

#include "line/pgconnection.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QVector>

// The configurations released to a line: each name's revisions, counted from
// 1, with the bytes a station runs, who released them and, once revoked, who
// revoked them and why. A revision is never changed but to be revoked.
class LineReleases
{
public:
    // The largest file taken: a configuration is commands, not firmware.
    static const int maxBytes = 1024 * 1024;
    static const int maxNameLength = 64;

    struct Release
    {
        QString name;
        int revision = 0;
        QString sha256;
        qint64 size = 0;
        QString note;
        QString releasedAt;
        QString releasedBy; // the database role
        QString osUser;
        QString host;
        QString revokedAt; // empty while in force
        QString revokedBy;
        QString revokeReason;
        QByteArray bytes; // only when asked for

        QString label() const; // "NAME@REV"
        bool isRevoked() const { return !revokedAt.isEmpty(); }
        // Who revoked it, when and why, for a message.
        QString revocation() const;
        QJsonObject toJson() const;
    };

    explicit LineReleases(PgConnection &connection);

    // False, with why, when `name` holds a control character, is empty or
    // longer than maxNameLength.
    static bool checkName(const QString &name, QString &error);
    // "NAME" or "NAME@REV": `revision` 0 when none is given.
    static bool parseReference(const QString &reference, QString &name, int &revision, QString &error);

    // `bytes` as the next revision of `name`, or the revision that holds
    // them already (`added` false). Audited in the same transaction.
    bool add(const QString &name, const QByteArray &bytes, const QString &note, Release &release, bool &added,
             QString &error);
    bool list(QVector<Release> &releases, QString &error);
    // `revision` 0: the newest one not revoked. False, with what exists, when
    // there is none; a revoked revision asked for by number is found.
    bool find(const QString &name, int revision, bool withBytes, Release &release, QString &error);
    // The revision in force that holds these bytes; false without error when
    // none does.
    bool findBySha256(const QString &sha256, Release &release, QString &error);
    bool revoke(const QString &name, int revision, const QString &reason, Release &release, QString &error);
    // Whether the line runs released configurations only.
    bool releaseRequired(bool &required, QString &error);

private:
    bool fail(const PgConnection::Result &result, QString &error);
    bool select(const QString &where, const QStringList &parameters, bool withBytes, QVector<Release> &releases,
                QString &error);
    QString whatExists(const QString &name);

    PgConnection &db;
};

#endif // LINERELEASES_H
