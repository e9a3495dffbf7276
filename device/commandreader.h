#ifndef COMMANDREADER_H
#define COMMANDREADER_H

#include <QStringList>

class QTextStream;

// The device commands in a configuration text, in order: every line, split
// after each inner carriage return, whose piece holds "ZEL#". Each command
// ends with exactly one carriage return.
QStringList readCommands(QTextStream &in);

// The commands in the file `fileName`; none when it cannot be opened.
QStringList readCommandFile(const QString &fileName);

#endif // COMMANDREADER_H
