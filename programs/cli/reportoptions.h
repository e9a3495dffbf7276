#ifndef REPORTOPTIONS_H
#define REPORTOPTIONS_H

#include "figures/recordselection.h"

#include <QDateTime>
#include <QStringList>

class QCommandLineParser;

// The options of `morlank-cli report`, checked.
struct ReportOptions
{
    QStringList logs; // "-" is standard input
    QString database; // --db URL
    RecordSelection selection;
    QString selectionText; // the selection in words, for the page
    bool json = false;
    QString html; // the page's file, if asked for
    QString order; // a work order of the database, shown first

    static void addTo(QCommandLineParser &parser);
    // False, with what is wrong in `error`.
    bool read(const QCommandLineParser &parser, const QDateTime &now, QString &error);
};

#endif // REPORTOPTIONS_H
