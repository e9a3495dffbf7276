#include "devsim/commandlog.h"

#include <QDateTime>

#include <cstdio>

namespace {
QByteArray printable(const QByteArray &bytes)
{
    QByteArray text;
    for (const char c : bytes) {
        if (c == '\r')
            text += "\\r";
        else if (c == '\n')
            text += "\\n";
        else if (c == '\\')
            text += "\\\\";
        else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            text += "\\x" + QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0');
        else
            text += c;
    }
    return text;
}
} // namespace

bool CommandLog::open(const QString &fileName)
{
    if (fileName == QLatin1String("-"))
        return file.open(stdout, QIODevice::WriteOnly);
    file.setFileName(fileName);
    return file.open(QIODevice::WriteOnly | QIODevice::Append);
}

QString CommandLog::errorString() const
{
    return file.errorString();
}

void CommandLog::record(const QString &portName, const QByteArray &command, const Reply &reply)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!file.isOpen())
        return;
    const QByteArray answer = Replies::bytes(reply);
    const QByteArray time = QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toLatin1();
    const QByteArray port = portName.isEmpty() ? QByteArray() : QFile::encodeName(portName) + "  ";
    file.write(time + "  " + port + printable(command) + "  -> "
               + (answer.isEmpty() ? QByteArray("(no answer)") : printable(answer)) + '\n');
    // Flushed line by line, so the log can be followed while it grows.
    file.flush();
}
