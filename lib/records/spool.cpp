#include "records/spool.h"

#include "records/filelock.h"
#include "records/recordkeys.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Where the database has confirmed up to: "GENERATION OFFSET". The
// generation changes each time a spool is emptied, so that a reader in
// another process knows its place is gone.
using Place = Spool::Place;

QString markPath(const QString &fileName)
{
    return fileName + QStringLiteral(".sent");
}

Place readMark(const QString &fileName)
{
    QFile file(markPath(fileName));
    Place mark;
    if (file.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> words = file.readAll().simplified().split(' ');
        mark.generation = words.value(0).toLongLong();
        mark.offset = words.value(1).toLongLong();
    }
    return mark;
}

bool writeMark(const QString &fileName, const Place &mark)
{
    QSaveFile file(markPath(fileName));
    return file.open(QIODevice::WriteOnly)
           && file.write(QByteArray::number(mark.generation) + ' ' + QByteArray::number(mark.offset) + '\n') > 0
           && file.commit();
}

qint64 sizeOf(int fd)
{
    struct stat status = {};
    return ::fstat(fd, &status) == 0 ? qint64(status.st_size) : 0;
}

// What `read(fd, mark)` makes of the file and its mark, read under a shared
// lock so that no writer or sender is half-way; `missing` when there is no file.
template<typename Result, typename Read>
Result readLocked(const QString &fileName, Result missing, Read read)
{
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return missing;
    Result result;
    {
        const FileLock lock(fd, FileLock::Shared);
        result = read(fd, readMark(fileName));
    }
    ::close(fd);
    return result;
}

QByteArray readFrom(int fd, qint64 from, qint64 to)
{
    QByteArray bytes(int(std::max<qint64>(to - from, 0)), '\0');
    const ssize_t got = bytes.isEmpty() ? 0 : ::pread(fd, bytes.data(), size_t(bytes.size()), from);
    bytes.truncate(int(std::max<ssize_t>(got, 0)));
    return bytes;
}
} // namespace

void Spool::Batch::take(const QByteArray &bytes, qint64 from, int most)
{
    start = from;
    end = start;
    for (int at = 0, to; (to = bytes.indexOf('\n', at)) >= 0; at = to + 1) {
        const QJsonObject record = QJsonDocument::fromJson(bytes.mid(at, to - at)).object();
        const bool isRecord = !record.value(RecordKeys::attemptId).toString().isEmpty();
        if (isRecord && ++waiting == 1)
            oldest = QDateTime::fromString(record.value(RecordKeys::time).toString(), Qt::ISODate);
        if (records.size() >= most)
            continue;
        if (isRecord)
            records.append(record);
        end = start + to + 1;
    }
}

Spool::Spool(const QString &fileName, bool emptiedWhenConfirmed)
    : file(fileName)
    , emptied(emptiedWhenConfirmed)
{
    fd = ::open(QFile::encodeName(file).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
}

Spool::~Spool()
{
    if (fd >= 0)
        ::close(fd);
}

QString Spool::userPath()
{
    QString folder = qEnvironmentVariable("XDG_STATE_HOME");
    if (folder.isEmpty())
        folder = QDir::homePath() + QStringLiteral("/.local/state");
    folder += QStringLiteral("/morlank");
    QDir().mkpath(folder);
    return folder + QStringLiteral("/spool.jsonl");
}

Spool::Place Spool::endOf(const QString &fileName)
{
    return readLocked(fileName, Place(), [](int fd, const Place &mark) { return Place{mark.generation, sizeOf(fd)}; });
}

int Spool::waitingIn(const QString &fileName, const std::optional<Place> &before)
{
    return readLocked(fileName, 0, [&](int fd, const Place &mark) {
        // Counted only: no record is kept. A generation gone was confirmed
        // whole.
        Batch batch;
        if (!before || before->generation == mark.generation)
            batch.take(readFrom(fd, mark.offset, before ? std::min(before->offset, sizeOf(fd)) : sizeOf(fd)),
                       mark.offset, 0);
        return batch.waiting;
    });
}

QString Spool::fileName() const
{
    return file;
}

bool Spool::readPending(Batch &batch, int most)
{
    if (fd < 0)
        return false;
    const FileLock lock(fd, FileLock::Shared);
    const Place mark = readMark(file);
    if (mark.generation != generation || cursor < mark.offset) {
        generation = mark.generation;
        cursor = mark.offset;
    }
    batch.take(readFrom(fd, cursor, sizeOf(fd)), cursor, most);
    return true;
}

// The mark moves on only, and is changed, like the file, under the lock
// that writers of the file take.
void Spool::confirm(qint64 upTo)
{
    cursor = upTo;
    const FileLock lock(fd, FileLock::Exclusive);
    Place mark = readMark(file);
    if (mark.generation != generation || upTo <= mark.offset)
        return;
    mark.offset = upTo;
    if (emptied && upTo == sizeOf(fd) && ::ftruncate(fd, 0) == 0) {
        mark = {mark.generation + 1, 0};
        generation = mark.generation;
        cursor = 0;
    }
    writeMark(file, mark);
}
