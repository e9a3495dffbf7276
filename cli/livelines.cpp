#include "livelines.h"

#include <algorithm>
#include <cstdio>

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
} // namespace

int LiveLines::columns()
{
    return terminalWidth() - 1;
}

QString LiveLines::elided(const QString &text, int width)
{
    if (text.size() <= width)
        return text;
    if (width <= ellipsis.size())
        return text.right(std::max(width, 0));
    const int head = (width - int(ellipsis.size())) / 3;
    return text.left(head) + ellipsis + text.right(width - int(ellipsis.size()) - head);
}

void LiveLines::write(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

void LiveLines::draw(const QStringList &lines)
{
    const int width = columns();
    QString text = backToStart();
    drawnLengths.clear();
    for (const QString &line : lines) {
        const QString fitted = line.left(width);
        text += fitted + QLatin1Char('\n');
        drawnLengths << int(fitted.size());
    }
    write(text);
    drawn = lines;
    drawnColumns = width;
}

void LiveLines::printAbove(const QString &text)
{
    if (drawnLengths.isEmpty()) {
        write(text);
        return;
    }
    write(backToStart() + text);
    drawnLengths.clear();
    draw(drawn);
}

bool LiveLines::differs(const QStringList &lines) const
{
    return drawnLengths.isEmpty() || lines != drawn || columns() != drawnColumns;
}

// To the first live line, erasing it and all below. A terminal made narrower
// has wrapped the lines onto more rows, as most terminals reflow them.
QString LiveLines::backToStart() const
{
    if (drawnLengths.isEmpty())
        return QString();
    const int width = terminalWidth();
    int rows = 0;
    for (const int length : drawnLengths)
        rows += std::max(1, (length + width - 1) / width);
    return QStringLiteral("\x1b[%1A\r\x1b[J").arg(rows);
}
