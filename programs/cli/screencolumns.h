#ifndef SCREENCOLUMNS_H
#define SCREENCOLUMNS_H

#include <QString>

// Text measured as a terminal draws it: a CJK character or an emoji takes
// two columns, a combining accent none. Widths are those of a UTF-8
// terminal, whatever the program's own locale.
namespace ScreenColumns {
int width(const QString &text);
// The longest head (or tail) of `text` in at most `columns` columns; a
// character is never split.
QString left(const QString &text, int columns);
QString right(const QString &text, int columns);
// `text` padded with spaces to `columns` columns.
QString leftJustified(const QString &text, int columns);
} // namespace ScreenColumns

#endif // SCREENCOLUMNS_H
