#ifndef REPORTCOMMAND_H
#define REPORTCOMMAND_H

#include "cli/reportoptions.h"

#include <QJsonObject>

// `morlank-cli report`: reads the records, prints the figures (text or
// JSON) and writes the page. Exit status 0, 1 when the selection holds no
// record (and no --order is shown), 2 when a source cannot be read or the page cannot be written.
class ReportCommand
{
public:
    explicit ReportCommand(const ReportOptions &options);
    int run();

private:
    bool writePage(const QByteArray &page, QString &error) const;
    bool readOrder(QJsonObject &order, QString &error) const;

    ReportOptions options;
};

#endif // REPORTCOMMAND_H
