#ifndef CONFIGURATION_H
#define CONFIGURATION_H

#include <QString>
#include <QStringList>
#include <QVector>

// A configuration file as every command that sends one reads it, checked
// before any port is opened.
struct Configuration
{
    QString file; // as given
    QStringList commands;
    QVector<int> lineNumbers;

    // False, with what to do about it in `error`, when nothing may be sent.
    bool load(const QString &fileName, QString &error);
};

#endif // CONFIGURATION_H
