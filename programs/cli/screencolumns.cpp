#include "cli/screencolumns.h"

#include <QVector>

#include <algorithm>
#include <cwchar>

#include <locale.h>

namespace {
// A character (one or two UTF-16 units) and the columns it takes.
struct Piece
{
    int size = 1;
    int columns = 1;
};

locale_t utf8Locale()
{
    static const locale_t locale = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
    return locale;
}

QVector<Piece> pieces(const QString &text)
{
    const locale_t utf8 = utf8Locale();
    const locale_t previous = utf8 ? ::uselocale(utf8) : locale_t(nullptr);
    QVector<Piece> list;
    for (int i = 0; i < text.size();) {
        const bool pair = text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        const uint code = pair ? QChar::surrogateToUcs4(text.at(i), text.at(i + 1)) : text.at(i).unicode();
        // A control character has no width of its own; counted as one so
        // that a line never comes out longer than measured.
        const int columns = ::wcwidth(wchar_t(code));
        list.push_back({pair ? 2 : 1, columns < 0 ? 1 : columns});
        i += pair ? 2 : 1;
    }
    if (utf8)
        ::uselocale(previous);
    return list;
}
} // namespace

namespace ScreenColumns {
int width(const QString &text)
{
    int columns = 0;
    for (const Piece &piece : pieces(text))
        columns += piece.columns;
    return columns;
}

QString left(const QString &text, int columns)
{
    int size = 0;
    int used = 0;
    for (const Piece &piece : pieces(text)) {
        if (used + piece.columns > columns)
            break;
        used += piece.columns;
        size += piece.size;
    }
    return text.left(size);
}

QString right(const QString &text, int columns)
{
    const QVector<Piece> list = pieces(text);
    int size = 0;
    int used = 0;
    for (auto piece = list.crbegin(); piece != list.crend() && used + piece->columns <= columns; ++piece) {
        used += piece->columns;
        size += piece->size;
    }
    return text.right(size);
}

QString leftJustified(const QString &text, int columns)
{
    return text + QString(std::max(0, columns - width(text)), QLatin1Char(' '));
}
} // namespace ScreenColumns
