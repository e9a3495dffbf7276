#include "values/placeholders.h"

#include <algorithm>

namespace {
bool isNameCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '_';
}

const QStringView opening = u"{{";
const QStringView closing = u"}}";
} // namespace

bool isPlaceholderName(QStringView text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), isNameCharacter);
}

QVector<PlaceholderSpan> findPlaceholders(QStringView line)
{
    QVector<PlaceholderSpan> spans;
    for (qsizetype from = 0;;) {
        const qsizetype start = line.indexOf(opening, from);
        if (start < 0)
            return spans;
        const qsizetype nameStart = start + opening.size();
        const auto nameEnd = std::find_if_not(line.begin() + nameStart, line.end(), isNameCharacter);
        const qsizetype nameLength = nameEnd - (line.begin() + nameStart);
        if (nameLength > 0 && line.mid(nameStart + nameLength).startsWith(closing)) {
            const qsizetype length = opening.size() + nameLength + closing.size();
            spans.append({start, length, line.mid(nameStart, nameLength)});
            from = start + length;
        } else {
            from = start + 1;
        }
    }
}
