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
    bool passesFilters(const QString &port, const QString &device);

    const QStringList names;
    const QStringList vidPids;
    struct Verdict
    {
        QString device;
        QString node; // the device file's inode and change time
        bool passes = false;
    };
    QHash<QString, Verdict> filtered; // by port, while it stays present
};

// Whether `name` holds a shell wildcard.
bool isPortPattern(const QString &name);
// The device a port's name leads to (its canonical path); empty when the
// name leads nowhere.
QString deviceOf(const QString &port);

#endif // CANDIDATEPORTS_H
