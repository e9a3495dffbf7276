#ifndef COMMANDLINEOPTIONS_H
#define COMMANDLINEOPTIONS_H

#include <QString>

class QCommandLineParser;

// Whether `option` was given. One the parser does not take never was
// (isSet() would warn about it), so commands can share a reader.
bool optionGiven(const QCommandLineParser &parser, const QString &option);

// False when `option` was given and is not a whole number of at least
// `minimum`; left out, `value` keeps what it holds.
bool readWholeNumber(const QCommandLineParser &parser, const QString &option, int minimum, int &value);

#endif // COMMANDLINEOPTIONS_H
