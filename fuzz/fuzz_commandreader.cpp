// Fuzzes the extraction of device commands from a configuration file.
//
// Input: the bytes of the file.

#include "device/commandreader.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

const QString prefix = QStringLiteral("ZEL#");

void check(bool holds)
{
    if (!holds)
        std::abort();
}

// The whole file as the reader's stream decodes it.
QString decodedText(const QByteArray &file)
{
    QTextStream in(file);
    return in.readAll();
}

// An independent model over the whole text: a piece ends after each carriage
// return, which it keeps, or before each line feed or the end of the text,
// where it gets a carriage return. Every piece holding the prefix is a
// command.
QStringList modelCommands(const QString &text)
{
    QStringList commands;
    QString piece;
    const auto close = [&](const QString &command) {
        if (command.contains(prefix))
            commands << command;
        piece.clear();
    };
    for (const QChar c : text) {
        if (c == QLatin1Char('\n'))
            close(piece + QLatin1Char('\r'));
        else if (c == QLatin1Char('\r'))
            close(piece + c);
        else
            piece += c;
    }
    close(piece + QLatin1Char('\r'));
    return commands;
}

void checkCommand(const QString &command, const QString &text)
{
    check(command.endsWith(QLatin1Char('\r')));
    check(command.count(QLatin1Char('\r')) == 1);
    check(command.contains(prefix));
    check(text.contains(command.chopped(1)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray file(reinterpret_cast<const char *>(data), int(size));
    QTextStream in(file);
    const QStringList commands = readCommands(in);

    const QString text = decodedText(file);
    for (const QString &command : commands)
        checkCommand(command, text);
    check(commands == modelCommands(text));
    return 0;
}
