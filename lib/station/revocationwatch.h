#ifndef REVOCATIONWATCH_H
#define REVOCATIONWATCH_H

#include <QString>
#include <QThread>

#include <condition_variable>
#include <mutex>

class StationControl;

// Asks the line's database every few seconds, on a connection of its own,
// whether the revision the station runs was revoked; once it is, the station
// is halted with who revoked it, when and why. It never chooses another
// revision.
class RevocationWatch : public QThread
{
public:
    // `release` is NAME@REV.
    RevocationWatch(const QString &db, const QString &release, StationControl &control);
    ~RevocationWatch() override;

    void end();

protected:
    void run() override;

private:
    bool waitForNextLook();

    const QString db;
    const QString release;
    StationControl &control;
    std::mutex mutex;
    std::condition_variable wake;
    bool ending = false;
};

#endif // REVOCATIONWATCH_H
