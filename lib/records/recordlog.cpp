#include "records/recordlog.h"

#include "records/filelock.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("a pipe");
    if (S_ISCHR(mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("not a regular file");
}

bool syncFolder(const QString &fileName)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(fileName).absolutePath());
    const int descriptor = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    const bool synced = ::fsync(descriptor) == 0;
    ::close(descriptor);
    return synced;
}

// How opening a log went: opened, refused by the system, or not a file whose
// records can be synced to disk.
enum class Opening { Opened, Refused, NotDurable };

// The file `fileName` opened for appending into `fd`, created if missing, once
// it is known that a record written there can be synced to disk; else why, in
// `reason`. Opened for reading too: the last byte tells whether an earlier
// writer left part of a line.
Opening openDurable(const QString &fileName, int &fd, QString &reason)
{
    const QByteArray name = QFile::encodeName(fileName);
    struct stat status = {};
    // Looked at before it is opened: opening a device may itself act.
    const bool existed = ::stat(name.constData(), &status) == 0;
    if (existed && !S_ISREG(status.st_mode)) {
        reason = QStringLiteral("it is %1, so its records could not be synced to disk").arg(kindOf(status.st_mode));
        return Opening::NotDurable;
    }
    fd = ::open(name.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        reason = systemError();
        return Opening::Refused;
    }
    // fsync() fails on what is no disk file (a /proc file): tried now rather
    // than after the first unit. A new file's name is synced with its folder.
    if (::fsync(fd) != 0 || (!existed && !syncFolder(fileName))) {
        reason = QStringLiteral("it cannot be synced to disk (%1), so a power cut could take its records")
                     .arg(systemError());
        ::close(fd);
        fd = -1;
        return Opening::NotDurable;
    }
    return Opening::Opened;
}
} // namespace

RecordLog::~RecordLog()
{
    if (fd >= 0)
        ::close(fd);
}

bool RecordLog::open(const QString &fileName, QString &error)
{
    path = fileName;
    QString reason;
    switch (openDurable(path, fd, reason)) {
    case Opening::Opened: return true;
    case Opening::Refused: reason += QStringLiteral(". Check the folder and that you may write there"); break;
    case Opening::NotDurable: reason += QStringLiteral(". Name a regular file on a disk, or a new one"); break;
    }
    error = QStringLiteral("cannot append to the log %1: %2; nothing was sent.").arg(path, reason);
    return false;
}

bool RecordLog::isOpen() const
{
    return fd >= 0;
}

bool RecordLog::append(const QJsonObject &record, QString &error)
{
    const QByteArray line = QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n';
    std::lock_guard<std::mutex> guard(mutex);
    if (!followPath(error))
        return false;
    // Keeps other programs' records out of ours.
    const FileLock lock(fd, FileLock::Exclusive);
    return appendLocked(line, error);
}

QString RecordLog::takeNotice()
{
    std::lock_guard<std::mutex> guard(mutex);
    QString taken;
    taken.swap(notice);
    return taken;
}

// logrotate moves a log away and expects its writer to follow: when the path
// no longer names the file held, the path is opened again.
bool RecordLog::followPath(QString &error)
{
    struct stat held = {};
    struct stat named = {};
    if (::fstat(fd, &held) == 0 && ::stat(QFile::encodeName(path).constData(), &named) == 0
        && held.st_dev == named.st_dev && held.st_ino == named.st_ino)
        return true;
    QString reason;
    int reopened = -1;
    if (openDurable(path, reopened, reason) != Opening::Opened) {
        error = QStringLiteral("the log %1 was moved or removed, and no log can be kept at its path: %2")
                    .arg(path, reason);
        return false;
    }
    ::close(fd);
    fd = reopened;
    notice = QStringLiteral("the log %1 was moved or removed; the records that follow go to the file now at "
                            "that path")
                 .arg(path);
    return true;
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
