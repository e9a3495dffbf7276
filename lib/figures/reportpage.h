#ifndef REPORTPAGE_H
#define REPORTPAGE_H

#include "figures/figures.h"

#include <QByteArray>
#include <QString>

// The figures as one self-contained HTML page: inline SVG charts (units
// and first-pass yield by hour, the Pareto of failing lines, the slots
// coloured by failure rate) and the tables; no script, nothing fetched, and
// laid out for A4 paper.
class ReportPage
{
public:
    // `selection` says in words which records were asked for.
    static QByteArray html(const Figures &figures, const QString &selection);

    // The colour of a slot with this failure rate, from the Okabe–Ito
    // palette that readers with any colour vision tell apart.
    static const char *rateColour(double failureRate);
};

#endif // REPORTPAGE_H
