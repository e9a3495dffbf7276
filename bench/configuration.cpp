#include "configuration.h"

#include <QFile>

namespace {
// 25 characters, so a million commands with CR LF make about 27 MB.
QByteArray command(int index)
{
    return "ZEL#CFG=" + QByteArray::number(index).rightJustified(6, '0') + ",ABCDEFGHIJ";
}
} // namespace

// Written in chunks so that making the file does not weigh on the peak
// memory of the reading that follows.
bool writeConfiguration(const QString &path, int commandCount, const QByteArray &lineEnd)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const int chunkSize = 1 << 16;
    QByteArray chunk;
    for (int i = 0; i < commandCount; ++i) {
        chunk += command(i) + lineEnd;
        if (chunk.size() >= chunkSize || i == commandCount - 1) {
            if (file.write(chunk) != chunk.size())
                return false;
            chunk.clear();
        }
    }
    return true;
}
