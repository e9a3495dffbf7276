#include "cli/livelines.h"

#include "cli/screencolumns.h"

#include <algorithm>

#include <sys/ioctl.h>
#include <unistd.h>

namespace {
const QString ellipsis = QStringLiteral("...");
// Where the terminal does not say.
const int defaultWidth = 80;

int terminalWidth()
{
    winsize size = {};
    return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : defaultWidth;
}

void writeTo(FILE *stream, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}
} // namespace

int LiveLines::columns()
{
    return terminalWidth() - 1;
}

QString LiveLines::elided(const QString &text, int width)
{
    if (ScreenColumns::width(text) <= width)
        return text;
    if (width <= ellipsis.size())
        return ScreenColumns::right(text, std::max(width, 0));
    const int head = (width - int(ellipsis.size())) / 3;
    return ScreenColumns::left(text, head) + ellipsis
           + ScreenColumns::right(text, width - int(ellipsis.size()) - head);
}

void LiveLines::write(const QString &text)
{
    writeTo(stderr, text.toLocal8Bit());
}

void LiveLines::draw(const QStringList &lines)
{
    const int width = columns();
    QString text = backToStart();
    drawnWidths.clear();
    for (const QString &line : lines) {
        const QString fitted = ScreenColumns::left(line, width);
        text += fitted + QLatin1Char('\n');
        drawnWidths << ScreenColumns::width(fitted);
    }
    write(text);
    drawn = lines;
    drawnTerminalWidth = width;
}

void LiveLines::printAbove(const QString &text)
{
    printAbove(text.toLocal8Bit(), stderr);
}

void LiveLines::printAbove(const QByteArray &bytes, FILE *stream)
{
    if (drawnWidths.isEmpty()) {
        writeTo(stream, bytes);
        return;
    }
    write(backToStart());
    writeTo(stream, bytes);
    drawnWidths.clear();
    draw(drawn);
}

bool LiveLines::differs(const QStringList &lines) const
{
    return drawnWidths.isEmpty() || lines != drawn || columns() != drawnTerminalWidth;
}

// To the first live line, erasing it and all below. A terminal made narrower
// has wrapped the lines onto more rows, as most terminals reflow them.
QString LiveLines::backToStart() const
{
    if (drawnWidths.isEmpty())
        return QString();
    const int width = terminalWidth();
    int rows = 0;
    for (const int columns : drawnWidths)
        rows += std::max(1, (columns + width - 1) / width);
    return QStringLiteral("\x1b[%1A\r\x1b[J").arg(rows);
}
