#ifndef CANDIDATEPORTS_H
#define CANDIDATEPORTS_H

#include <QHash>
#include <QString>
#include <QStringList>

// The ports a station may open, looked up anew at each poll: the names and
// paths given that exist now, the paths a pattern matches now, or every port
// the system lists; less those whose adapter the USB filters leave out. A
// port is never listed twice, under two names of one device.
class CandidatePorts
{
public:
    CandidatePorts(const QStringList &names, const QStringList &vidPids);

    QStringList current();

private:
    QStringList present() const;
    bool passesFilters(const QString &port);

    const QStringList names;
    const QStringList vidPids;
    QHash<QString, bool> filtered; // by port, while it stays present
};

// Whether `name` holds a shell wildcard.
bool isPortPattern(const QString &name);

#endif // CANDIDATEPORTS_H
