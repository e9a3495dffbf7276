#ifndef PLACEHOLDERS_H
#define PLACEHOLDERS_H

#include <QStringView>
#include <QVector>

// The placeholder rule: "{{", a NAME of one or more ASCII letters, digits or
// underscores, "}}". A line is scanned left to right and each placeholder
// found is taken whole before the scan goes on, so "{{{X}}}" holds one, {{X}},
// between two braces kept as they are. Anything else ("{{}}", "{{A-B}}", a
// "{{" never closed, "{ {X}}") is plain text.

// Whether `text` is a placeholder name.
bool isPlaceholderName(QStringView text);

// Where a placeholder stands in a line.
struct PlaceholderSpan
{
    qsizetype start = 0;  // of the opening "{{"
    qsizetype length = 0; // up to the closing "}}" included
    QStringView name;
};

// Every placeholder of `line`, in order.
QVector<PlaceholderSpan> findPlaceholders(QStringView line);

#endif // PLACEHOLDERS_H
