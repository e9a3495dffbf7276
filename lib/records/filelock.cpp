#include "records/filelock.h"

#include <sys/file.h>

FileLock::FileLock(int fd, Mode mode)
    : fd(fd)
    , locked(fd >= 0 && ::flock(fd, mode == Shared ? LOCK_SH : LOCK_EX) == 0)
{
}

FileLock::~FileLock()
{
    if (locked)
        ::flock(fd, LOCK_UN);
}
