#ifndef STATEFILE_H
#define STATEFILE_H

#include <QByteArray>
#include <QString>

// The file that holds the state of handed-out values, and the lock that
// programs sharing it take while they reserve. The state file is only ever
// replaced whole (write a new file beside it, sync it, rename it over the old,
// sync the folder), so after a crash it is the old file or the new, never a
// mix. The lock is flock() on a file of its own beside it ("FILE.lock"): the
// state file's inode changes with every rename, so it cannot carry the lock.
// A symbolic link to the state file is followed first, so that every name of
// one state file shares its lock and its file, and the link stays a link.
class StateFile
{
public:
    explicit StateFile(const QString &path);
    ~StateFile();
    StateFile(const StateFile &) = delete;
    StateFile &operator=(const StateFile &) = delete;

    // As given, for messages.
    QString path() const;
    // Opens the lock file, creating it when there is none.
    bool open(QString &error);
    // Waits until no other program holds the lock, then holds it.
    bool lock(QString &error);
    void unlock();
    // The state file's bytes; `exists` is false when there is no such file.
    bool read(QByteArray &bytes, bool &exists, QString &error) const;
    bool replace(const QByteArray &bytes, QString &error) const;

private:
    const QString givenPath;
    const QString statePath; // the file itself, links followed
    int lockDescriptor = -1;
};

#endif // STATEFILE_H
