#ifndef REPLYPARSER_H
#define REPLYPARSER_H

#include <QString>
#include <QStringList>

// Splits the value fields out of a query answer. Each value line is a "+",
// the rest of a header (`headerLength` characters from the "+" inclusive),
// fields separated by ",", one line-end character and a carriage return.
// Appends the fields to `values`; true when at least one value line was
// closed by its carriage return.
bool parseQueryReply(const QString &reply, int headerLength, QStringList &values);

#endif // REPLYPARSER_H
