#ifndef CLOCKFORMATS_H
#define CLOCKFORMATS_H

#include <QString>

// The clock texts as they travel on the wire, double quotes included. A read
// value counts only when it parses with these in full.
inline const QString clockTimeFormat = QStringLiteral("\"hh:mm:ss\"");
inline const QString clockDateFormat = QStringLiteral("\"dd/MM/yyyy\"");

#endif // CLOCKFORMATS_H
