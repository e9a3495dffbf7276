#ifndef COMMANDREADER_H
#define COMMANDREADER_H

#include <QStringList>
#include <QVector>

class QTextStream;

// The device commands in a configuration text, in order: every line, split
// after each inner carriage return, whose piece holds "ZEL#". Each command
// ends with exactly one carriage return.
QStringList readCommands(QTextStream &in);
// The same, with the file line number of each command in `lineNumbers`.
QStringList readCommands(QTextStream &in, QVector<int> &lineNumbers);

// The commands in the file `fileName`; none when it cannot be opened.
QStringList readCommandFile(const QString &fileName);
// The same with line numbers; false, with the reason in `error`, when the
// file cannot be opened.
bool readCommandFile(const QString &fileName, QStringList &commands, QVector<int> &lineNumbers,
                     QString &error);

#endif // COMMANDREADER_H
