#include "base/commandlineoptions.h"

#include <QCommandLineParser>

bool optionGiven(const QCommandLineParser &parser, const QString &option)
{
    return parser.optionNames().contains(option);
}

bool readWholeNumber(const QCommandLineParser &parser, const QString &option, int minimum, int &value)
{
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    const int number = parser.value(option).toInt(&ok);
    if (!ok || number < minimum)
        return false;
    value = number;
    return true;
}
