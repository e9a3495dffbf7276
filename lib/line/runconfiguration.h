#ifndef RUNCONFIGURATION_H
#define RUNCONFIGURATION_H

#include "jobs/configuration.h"

#include <QString>

// The configuration a run sends: a file, or a release of the line read once
// from its database. On a line that requires releases, a file runs only as
// the revision in force that holds the same bytes.
struct RunConfiguration
{
    Configuration configuration;
    QString file;    // the file's absolute path, or the release's NAME@REV
    QString release; // NAME@REV, or empty for a file no release holds
    QString db;      // the line's database, where the release lives

    // False, with what to do in `error`, when nothing may be sent. `reference`
    // is NAME or NAME@REV, or empty for `fileName`.
    bool load(const QString &database, const QString &fileName, const QString &reference, QString &error);

private:
    bool loadRelease(const QString &reference, QString &error);
    bool checkReleased(QString &error);
};

#endif // RUNCONFIGURATION_H
