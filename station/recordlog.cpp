#include "recordlog.h"

#include <QFile>
#include <QJsonDocument>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Holds the lock that keeps other programs' records out of ours.
class FileLock
{
public:
    explicit FileLock(int fd)
        : fd(fd)
        , locked(::flock(fd, LOCK_EX) == 0)
    {
    }
    ~FileLock()
    {
        if (locked)
            ::flock(fd, LOCK_UN);
    }
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

private:
    const int fd;
    const bool locked;
};
} // namespace

RecordLog::~RecordLog()
{
    if (fd >= 0)
        ::close(fd);
}

// Opened for reading too: the last byte tells whether an earlier writer left
// part of a line.
bool RecordLog::open(const QString &fileName, QString &error)
{
    fd = ::open(QFile::encodeName(fileName).constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = systemError();
        return false;
    }
    return true;
}

bool RecordLog::isOpen() const
{
    return fd >= 0;
}

bool RecordLog::append(const QJsonObject &record, QString &error)
{
    const QByteArray line = QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n';
    std::lock_guard<std::mutex> guard(mutex);
    const FileLock lock(fd);
    return appendLocked(line, error);
}

// A log that ends in part of a line (a crash in the middle of an earlier
// write) gets a line end first, so that no record is glued to it. A write
// that fails part-way is taken back, for the same reason.
bool RecordLog::appendLocked(const QByteArray &line, QString &error)
{
    struct stat status = {};
    if (::fstat(fd, &status) != 0) {
        error = systemError();
        return false;
    }
    char last = '\n';
    if (status.st_size > 0 && ::pread(fd, &last, 1, status.st_size - 1) != 1)
        last = '\n';
    const QByteArray bytes = last == '\n' ? line : '\n' + line;
    const ssize_t written = ::write(fd, bytes.constData(), size_t(bytes.size()));
    if (written != bytes.size()) {
        error = written < 0 ? systemError() : QStringLiteral("the disk took only part of the record");
        if (written > 0) {
            [[maybe_unused]] const int ignored = ::ftruncate(fd, status.st_size);
        }
        return false;
    }
    if (::fsync(fd) != 0) {
        error = systemError();
        return false;
    }
    return true;
}
