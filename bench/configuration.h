#ifndef CONFIGURATION_H
#define CONFIGURATION_H

#include <QByteArray>
#include <QString>

// Writes a configuration of `commandCount` commands to `path`, each ended by
// `lineEnd`: CR LF, or CR alone, which makes the whole file a single line.
// False when it cannot be written.
bool writeConfiguration(const QString &path, int commandCount, const QByteArray &lineEnd = "\r\n");

#endif // CONFIGURATION_H
