#include "figures/logreport.h"

#include "figures/reportpage.h"
#include "figures/reportreader.h"
#include "records/logsource.h"

#include <QSaveFile>

bool writeLogReport(const QString &logFile, const QString &pageFile, QString &error)
{
    LogSource log({logFile});
    ShiftFigures counted;
    if (!log.check(error))
        return false;
    if (!ReportReader(RecordSelection()).read(log, counted)) {
        error = log.error();
        return false;
    }
    const Figures figures = counted.figures();
    if (figures.records == 0) {
        error = QStringLiteral("the log %1 holds no record yet").arg(logFile);
        return false;
    }
    const QByteArray page = ReportPage::html(figures, QStringLiteral("every record of %1").arg(logFile));
    QSaveFile file(pageFile);
    if (file.open(QIODevice::WriteOnly) && file.write(page) == page.size() && file.commit())
        return true;
    error = QStringLiteral("cannot write the page %1: %2").arg(pageFile, file.errorString());
    return false;
}
