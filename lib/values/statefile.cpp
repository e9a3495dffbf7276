#include "values/statefile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {
QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Runs `call` again while a signal interrupts it.
template<typename Call>
auto retried(Call call)
{
    decltype(call()) result;
    do {
        result = call();
    } while (result < 0 && errno == EINTR);
    return result;
}

bool writeAll(int descriptor, const QByteArray &bytes)
{
    for (qint64 done = 0; done < bytes.size();) {
        const auto written = retried(
            [&] { return ::write(descriptor, bytes.constData() + done, size_t(bytes.size() - done)); });
        if (written < 0)
            return false;
        done += written;
    }
    return true;
}

// The file a path names once symbolic links to it are followed, whether or
// not it exists yet. Links among its folders need nothing: the names made
// beside it and the rename stay in the folder they lead to.
QString followLinks(const QString &path)
{
    QFileInfo file(path);
    // As many links as the system itself follows.
    for (int hops = 0; file.isSymLink() && hops < 40; ++hops)
        file.setFile(file.symLinkTarget());
    return file.absoluteFilePath();
}

bool syncFolder(const QString &folder)
{
    const int descriptor = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    const bool synced = retried([&] { return ::fsync(descriptor); }) == 0;
    ::close(descriptor);
    return synced;
}
} // namespace

StateFile::StateFile(const QString &path)
    : givenPath(path)
    , statePath(followLinks(path))
{
}

StateFile::~StateFile()
{
    if (lockDescriptor >= 0)
        ::close(lockDescriptor);
}

QString StateFile::path() const
{
    return givenPath;
}

bool StateFile::open(QString &error)
{
    const QString lockPath = statePath + QStringLiteral(".lock");
    lockDescriptor = retried([&] {
        return ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    });
    if (lockDescriptor < 0) {
        error = QStringLiteral("cannot create the lock file %1: %2").arg(lockPath, systemError());
        return false;
    }
    return true;
}

bool StateFile::lock(QString &error)
{
    if (retried([this] { return ::flock(lockDescriptor, LOCK_EX); }) != 0) {
        error = QStringLiteral("cannot lock %1.lock: %2").arg(statePath, systemError());
        return false;
    }
    return true;
}

void StateFile::unlock()
{
    ::flock(lockDescriptor, LOCK_UN);
}

bool StateFile::read(QByteArray &bytes, bool &exists, QString &error) const
{
    QFile file(statePath);
    exists = file.exists();
    bytes.clear();
    if (!exists)
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read the state file %1: %2").arg(givenPath, file.errorString());
        return false;
    }
    bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        error = QStringLiteral("cannot read the state file %1: %2").arg(givenPath, file.errorString());
        return false;
    }
    return true;
}

bool StateFile::replace(const QByteArray &bytes, QString &error) const
{
    // One fixed name: writers take turns under the lock, and a file left by
    // a writer that was killed is simply written over.
    const QString newPath = statePath + QStringLiteral(".new");
    const QByteArray newName = QFile::encodeName(newPath);
    const int descriptor = retried([&] {
        return ::open(newName.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    });
    if (descriptor < 0) {
        error = QStringLiteral("cannot write %1: %2").arg(newPath, systemError());
        return false;
    }
    const bool written = writeAll(descriptor, bytes) && retried([&] { return ::fsync(descriptor); }) == 0;
    const QString reason = systemError();
    ::close(descriptor);
    if (!written) {
        error = QStringLiteral("cannot write %1: %2").arg(newPath, reason);
        return false;
    }
    if (::rename(newName.constData(), QFile::encodeName(statePath).constData()) != 0
        || !syncFolder(QFileInfo(statePath).absolutePath())) {
        error = QStringLiteral("cannot replace the state file %1: %2").arg(givenPath, systemError());
        return false;
    }
    return true;
}
