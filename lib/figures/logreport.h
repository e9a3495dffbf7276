#ifndef LOGREPORT_H
#define LOGREPORT_H

#include <QString>

// The report page of every record of one log, written to `pageFile`. False,
// with why, when the log cannot be read, holds no record, or the page
// cannot be written.
bool writeLogReport(const QString &logFile, const QString &pageFile, QString &error);

#endif // LOGREPORT_H
