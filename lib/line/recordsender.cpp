#include "line/recordsender.h"

#include "line/pgconnection.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// A file that grew is read again within this.
const int lookIntervalMs = 100;
// Reconnecting waits twice as long after each failure, up to this.
const int longestPauseMs = 8000;
// Records sent in one statement.
const int batchSize = 500;

// Without a conflict target, so that a station's role needs INSERT alone
// (naming the key would need SELECT on it as well).
const QString insertRecords = QStringLiteral(
    "INSERT INTO morlank.attempts (attempt_id, time, station, slot, unit, result, file_sha256, record) "
    "SELECT (r->>'attempt_id')::uuid, (r->>'time')::timestamptz, coalesce(r->>'station', ''), r->>'slot', "
    "r->>'unit', coalesce(r->>'result', ''), r->>'file_sha256', r FROM jsonb_array_elements($1::jsonb) AS r "
    "ON CONFLICT DO NOTHING");

// Holds flock() on a file for as long as it lives.
class Locked
{
public:
    Locked(int fd, int how)
        : fd(fd)
        , locked(fd >= 0 && ::flock(fd, how) == 0)
    {
    }
    ~Locked()
    {
        if (locked)
            ::flock(fd, LOCK_UN);
    }
    Locked(const Locked &) = delete;
    Locked &operator=(const Locked &) = delete;

private:
    const int fd;
    const bool locked;
};

// Where the database has confirmed up to: "GENERATION OFFSET". The
// generation changes each time a spool is emptied, so that a sender in
// another process knows its place is gone.
struct Mark
{
    qint64 generation = 0;
    qint64 offset = 0;
};

QString markPath(const QString &fileName)
{
    return fileName + QStringLiteral(".sent");
}

Mark readMark(const QString &fileName)
{
    QFile file(markPath(fileName));
    Mark mark;
    if (file.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> words = file.readAll().simplified().split(' ');
        mark.generation = words.value(0).toLongLong();
        mark.offset = words.value(1).toLongLong();
    }
    return mark;
}

bool writeMark(const QString &fileName, const Mark &mark)
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

QByteArray readFrom(int fd, qint64 from, qint64 to)
{
    QByteArray bytes(int(std::max<qint64>(to - from, 0)), '\0');
    const ssize_t got = bytes.isEmpty() ? 0 : ::pread(fd, bytes.data(), size_t(bytes.size()), from);
    bytes.truncate(int(std::max<ssize_t>(got, 0)));
    return bytes;
}
} // namespace

// The complete lines read past the sender's place, and the records among
// them (lines without an attempt_id, from before records had one, are
// passed over).
struct RecordSender::Batch
{
    QJsonArray records;
    QDateTime oldest;
    qint64 end = 0; // the offset after the last complete line read
    int waiting = 0;

    void take(const QByteArray &bytes, qint64 start)
    {
        end = start;
        for (int from = 0, to; (to = bytes.indexOf('\n', from)) >= 0; from = to + 1) {
            const QJsonObject record = QJsonDocument::fromJson(bytes.mid(from, to - from)).object();
            const bool isRecord = !record.value(QStringLiteral("attempt_id")).toString().isEmpty();
            if (isRecord && ++waiting == 1)
                oldest = QDateTime::fromString(record.value(QStringLiteral("time")).toString(), Qt::ISODate);
            if (records.size() >= batchSize)
                continue;
            if (isRecord)
                records.append(record);
            end = start + to + 1;
        }
    }
};

RecordSender::RecordSender(const QString &u, const QString &fileName, bool isSpool)
    : url(u)
    , file(fileName)
    , spool(isSpool)
{
    fd = ::open(QFile::encodeName(file).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
}

RecordSender::~RecordSender()
{
    end();
    wait();
    if (fd >= 0)
        ::close(fd);
}

QString RecordSender::spoolPath()
{
    QString folder = qEnvironmentVariable("XDG_STATE_HOME");
    if (folder.isEmpty())
        folder = QDir::homePath() + QStringLiteral("/.local/state");
    folder += QStringLiteral("/morlank");
    QDir().mkpath(folder);
    return folder + QStringLiteral("/spool.jsonl");
}

int RecordSender::waitingIn(const QString &fileName)
{
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    Batch batch;
    {
        const Locked lock(fd, LOCK_SH);
        const Mark mark = readMark(fileName);
        batch.take(readFrom(fd, mark.offset, sizeOf(fd)), mark.offset);
    }
    ::close(fd);
    return batch.waiting;
}

QString RecordSender::fileName() const
{
    return file;
}

RecordSender::Backlog RecordSender::backlog() const
{
    std::lock_guard<std::mutex> lock(mutex);
    Backlog copy = shown;
    // Text of its own, not a share of the sending thread's: the last owner
    // of shared text frees it inside Qt, where the race checker cannot see
    // the reference count that orders it.
    copy.error = QString(shown.error.constData(), shown.error.size());
    return copy;
}

bool RecordSender::hasSentAll() const
{
    return waitingIn(file) == 0;
}

void RecordSender::end()
{
    std::lock_guard<std::mutex> lock(mutex);
    ending = true;
    wake.notify_all();
}

void RecordSender::run()
{
    PgConnection connection;
    int pauseMs = 0;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (ending)
                break;
        }
        Batch batch;
        if (!readPending(batch) || batch.end == cursor) {
            publish(batch, {});
            pause(lookIntervalMs);
            continue;
        }
        QString error;
        const bool sent = (connection.isOpen() || connection.open(url, error)) && send(connection, batch, error);
        publish(batch, sent ? QString() : error);
        if (sent) {
            confirm(batch.end);
            pauseMs = 0;
            continue;
        }
        connection.close();
        pauseMs = std::min(std::max(pauseMs * 2, 250), longestPauseMs);
        pause(pauseMs);
    }
}

// Reads from the sender's place to the file's end; a place lost to a spool
// emptied by another process is taken from the mark again.
bool RecordSender::readPending(Batch &batch)
{
    if (fd < 0)
        return false;
    const Locked lock(fd, LOCK_SH);
    const Mark mark = readMark(file);
    if (mark.generation != generation || cursor < mark.offset) {
        generation = mark.generation;
        cursor = mark.offset;
    }
    batch.take(readFrom(fd, cursor, sizeOf(fd)), cursor);
    return true;
}

bool RecordSender::send(PgConnection &connection, const Batch &batch, QString &error)
{
    if (batch.records.isEmpty())
        return true;
    const QString records = QString::fromUtf8(QJsonDocument(batch.records).toJson(QJsonDocument::Compact));
    const PgConnection::Result result = connection.exec(insertRecords, {records});
    error = result.error;
    return result.ok;
}

// The mark moves on only, and a spool whose every record is confirmed is
// emptied, under the lock that writers of the file take.
void RecordSender::confirm(qint64 upTo)
{
    cursor = upTo;
    const Locked lock(fd, LOCK_EX);
    Mark mark = readMark(file);
    if (mark.generation != generation || upTo <= mark.offset)
        return;
    mark.offset = upTo;
    if (spool && upTo == sizeOf(fd) && ::ftruncate(fd, 0) == 0) {
        mark = {mark.generation + 1, 0};
        generation = mark.generation;
        cursor = 0;
    }
    writeMark(file, mark);
}

void RecordSender::publish(const Batch &batch, const QString &error)
{
    std::lock_guard<std::mutex> lock(mutex);
    shown.records = batch.waiting;
    shown.since = batch.oldest;
    shown.error = error;
}

void RecordSender::pause(int ms)
{
    std::unique_lock<std::mutex> lock(mutex);
    wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return ending; });
}
