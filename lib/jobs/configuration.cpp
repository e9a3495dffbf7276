#include "jobs/configuration.h"

#include "device/commandreader.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTextStream>

bool Configuration::load(const QString &fileName, QString &error)
{
    file = fileName;
    QFile input(file);
    QByteArray bytes;
    if (input.open(QIODevice::ReadOnly))
        bytes = input.readAll();
    if (!input.isOpen() || input.error() != QFileDevice::NoError) {
        error = QStringLiteral("cannot read %1: %2. Check the file's name and that you may read it.")
                    .arg(file, input.errorString());
        return false;
    }
    return read(fileName, bytes, error);
}

bool Configuration::read(const QString &name, const QByteArray &bytes, QString &error)
{
    file = name;
    sha256 = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    // Decoded as the window reads a file: the system's 8-bit encoding unless a
    // byte-order mark names another, with Qt 6 as with Qt 5.
    QTextStream in(bytes);
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    in.setEncoding(QStringConverter::System);
#endif
    commands = readCommands(in, lineNumbers);
    if (commands.size() < 3) {
        error = QStringLiteral("%1 holds %2 command(s); a download needs at least three, so nothing was sent. "
                               "Command lines are those that contain ZEL#.")
                    .arg(file)
                    .arg(commands.size());
        return false;
    }
    return true;
}
