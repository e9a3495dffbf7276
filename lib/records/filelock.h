#ifndef FILELOCK_H
#define FILELOCK_H

// Holds flock() on an open file for as long as it lives: shared while the
// file is read, exclusive while it is changed. Every program that appends to
// a log or a spool, reads it for the database, or empties it takes this
// lock, so none sees another's record half written or a file cut under it.
class FileLock
{
public:
    enum Mode { Shared, Exclusive };

    // Takes no lock on a file that is not open (fd < 0).
    FileLock(int fd, Mode mode);
    ~FileLock();
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

private:
    const int fd;
    const bool locked;
};

#endif // FILELOCK_H
