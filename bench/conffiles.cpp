#include "conffiles.h"

#include <QFile>

namespace {
// 25 characters, so a million commands with CR LF make about 27 MB.
QByteArray command(int index)
{
    return "ZEL#CFG=" + QByteArray::number(index).rightJustified(6, '0') + ",ABCDEFGHIJ";
}
} // namespace

ConfFiles::ConfFiles(int commandCount)
    : count(commandCount)
    , valid(dir.isValid() && write(crLfPath(), "\r\n") && write(crPath(), "\r"))
{
}

bool ConfFiles::isValid() const
{
    return valid;
}

int ConfFiles::commandCount() const
{
    return count;
}

QString ConfFiles::crLfPath() const
{
    return dir.filePath(QStringLiteral("crlf.conf"));
}

QString ConfFiles::crPath() const
{
    return dir.filePath(QStringLiteral("cr.conf"));
}

// Written in chunks so that making the file does not weigh on the peak
// memory of the reading that follows.
bool ConfFiles::write(const QString &path, const QByteArray &lineEnd) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const int chunkSize = 1 << 16;
    QByteArray chunk;
    for (int i = 0; i < count; ++i) {
        chunk += command(i) + lineEnd;
        if (chunk.size() >= chunkSize || i == count - 1) {
            if (file.write(chunk) != chunk.size())
                return false;
            chunk.clear();
        }
    }
    return true;
}
