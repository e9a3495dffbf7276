#ifndef CONFIGURATION_H
#define CONFIGURATION_H

#include <QString>
#include <QStringList>
#include <QVector>

// A configuration file as every command that sends one reads it, checked
// before any port is opened. The file is read once: the commands sent and the
// hash recorded come from the same bytes, whatever happens to the file later.
struct Configuration
{
    QString file; // as given
    QString sha256; // of the bytes read, in hex
    QStringList commands;
    QVector<int> lineNumbers;

    // False, with what to do about it in `error`, when nothing may be sent.
    bool load(const QString &fileName, QString &error);
    // The same from bytes already read (a release from the line's
    // database); `name` stands for the file in messages.
    bool read(const QString &name, const QByteArray &bytes, QString &error);
};

#endif // CONFIGURATION_H
