#include "device/commandreader.h"

#include <QFile>
#include <QStringView>
#include <QTextStream>

#include <algorithm>

namespace {
const QString prefix = QStringLiteral("ZEL#");
// Characters decoded per read: the file is never held whole, even when its
// lines end in CR alone and readLine() would return it as one huge line.
const int chunkSize = 1 << 16;

// A line feed ends a line as readLine() sees it, and a carriage return ends
// a piece of it. A carriage return just before the line feed, which readLine()
// drops, only closes an empty piece, so the commands come out the same.
// A lambda rather than a function, so that find_if always inlines it.
const auto endsPiece = [](QChar c) { return c == QLatin1Char('\r') || c == QLatin1Char('\n'); };

// Keeps `text`, closed by one carriage return, when it holds the prefix.
bool keepCommand(QStringView text, QStringList &commands)
{
    // Inlined: cheaper than contains() on pieces this short.
    if (std::search(text.begin(), text.end(), prefix.begin(), prefix.end()) == text.end())
        return false;
    // One allocation of the exact size, moved into the list rather than
    // copied (a copy costs two atomic updates): a file may hold millions.
    QString command(int(text.size()) + 1, Qt::Uninitialized);
    QChar *const closing = std::copy(text.begin(), text.end(), command.data());
    *closing = QLatin1Char('\r');
    commands.append(QString());
    commands.last().swap(command);
    return true;
}

// Hands every piece of the text to `keep`, with the character that ended it
// (a null character for the last piece). A template, so that the plain reader
// compiles to the loop it always was.
template<typename Keep>
void forEachPiece(QTextStream &in, Keep keep)
{
    QString unfinished; // a piece that runs on into the next chunk
    for (QString chunk; !(chunk = in.read(chunkSize)).isEmpty();) {
        const QChar *start = chunk.constData();
        const QChar *const end = start + chunk.size();
        for (const QChar *c; (c = std::find_if(start, end, endsPiece)) != end; start = c + 1) {
            if (unfinished.isEmpty()) {
                keep(QStringView(start, c), *c);
                continue;
            }
            unfinished.append(start, int(c - start));
            keep(QStringView(unfinished), *c);
            unfinished.clear();
        }
        unfinished.append(start, int(end - start));
    }
    keep(QStringView(unfinished), QChar());
}
} // namespace

QStringList readCommands(QTextStream &in)
{
    QStringList commands;
    forEachPiece(in, [&commands](QStringView piece, QChar) { keepCommand(piece, commands); });
    return commands;
}

// Lines count as an editor shows them: a line feed, a carriage return and line
// feed, or a carriage return alone each end one. The last is a break because
// it splits commands as one, so every command gets a line of its own.
QStringList readCommands(QTextStream &in, QVector<int> &lineNumbers)
{
    QStringList commands;
    lineNumbers.clear();
    int line = 1;
    QChar previousEnd;
    forEachPiece(in, [&](QStringView piece, QChar end) {
        if (keepCommand(piece, commands))
            lineNumbers << line;
        // The line feed of a CR LF pair closes an empty piece on the same line.
        const bool secondHalfOfCrLf = end == QLatin1Char('\n') && piece.isEmpty()
                                      && previousEnd == QLatin1Char('\r');
        if (!end.isNull() && !secondHalfOfCrLf)
            ++line;
        previousEnd = end;
    });
    return commands;
}

namespace {
// Opens `fileName` and hands `read` its text; false, with the reason, when
// the file cannot be opened. One decoding rule whatever Qt the program is
// built with, Qt 5's: the system's 8-bit encoding unless a byte-order mark
// names another. Qt 6 would take UTF-8, which differs on Windows and its ANSI
// code page.
template<typename Read>
bool readFile(const QString &fileName, QString &error, Read read)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    QTextStream in(&file);
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    in.setEncoding(QStringConverter::System);
#endif
    read(in);
    return true;
}
} // namespace

QStringList readCommandFile(const QString &fileName)
{
    QStringList commands;
    QString error;
    readFile(fileName, error, [&commands](QTextStream &in) { commands = readCommands(in); });
    return commands;
}

bool readCommandFile(const QString &fileName, QStringList &commands, QVector<int> &lineNumbers,
                     QString &error)
{
    return readFile(fileName, error,
                    [&](QTextStream &in) { commands = readCommands(in, lineNumbers); });
}
