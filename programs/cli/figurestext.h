#ifndef FIGURESTEXT_H
#define FIGURESTEXT_H

#include "figures/figures.h"

#include <QString>

// The figures as `morlank-cli report` prints them for a person: the period
// and the headline figures, then aligned tables.
namespace FiguresText {
QString text(const Figures &figures);
}

#endif // FIGURESTEXT_H
