#include "records/logsource.h"

#include <QFileInfo>

#include <cstdio>

namespace {
const qint64 blockSize = 1 << 20;
const QString standardInput = QStringLiteral("-");

QString shownName(const QString &fileName)
{
    return fileName == standardInput ? QStringLiteral("standard input") : fileName;
}
} // namespace

LogSource::LogSource(const QStringList &fileNames)
    : fileNames(fileNames)
{
}

bool LogSource::check(QString &error) const
{
    for (const QString &name : fileNames) {
        if (name == standardInput)
            continue;
        const QFileInfo info(name);
        if (!info.exists() || info.isDir() || !info.isReadable()) {
            error = QStringLiteral("cannot read the log %1: %2")
                        .arg(name, !info.exists() ? QStringLiteral("no such file")
                                   : info.isDir() ? QStringLiteral("it is a folder")
                                                  : QStringLiteral("permission denied"));
            return false;
        }
    }
    return true;
}

bool LogSource::next(RecordText &record)
{
    while (failure.isEmpty()) {
        if (!file.isOpen() && !openNext())
            return false;
        const int end = buffer.indexOf('\n', position);
        if (end < 0 && fillBuffer())
            continue;
        if (end < 0 && position == buffer.size()) {
            file.close();
            continue;
        }
        const int stop = end < 0 ? buffer.size() : end;
        record.json = buffer.mid(position, stop - position);
        record.origin = shownName(fileNames.at(current));
        record.line = ++lineNumber;
        record.partial = end < 0;
        position = end < 0 ? buffer.size() : end + 1;
        if (!record.json.trimmed().isEmpty())
            return true;
    }
    return false;
}

QString LogSource::error() const
{
    return failure;
}

bool LogSource::openNext()
{
    if (++current >= fileNames.size())
        return false;
    const QString &name = fileNames.at(current);
    const bool opened = name == standardInput ? file.open(stdin, QIODevice::ReadOnly)
                                              : (file.setFileName(name), file.open(QIODevice::ReadOnly));
    if (!opened)
        failure = QStringLiteral("cannot read the log %1: %2").arg(shownName(name), file.errorString());
    buffer.clear();
    position = 0;
    lineNumber = 0;
    return opened;
}

// Moves what is left to the front and reads the next block after it; false
// at the end of the file.
bool LogSource::fillBuffer()
{
    buffer.remove(0, position);
    position = 0;
    const int kept = buffer.size();
    buffer.resize(kept + blockSize);
    const qint64 read = file.read(buffer.data() + kept, blockSize);
    buffer.resize(kept + std::max<qint64>(read, 0));
    if (read < 0)
        failure = QStringLiteral("cannot read the log %1: %2").arg(shownName(fileNames.at(current)), file.errorString());
    return read > 0;
}
