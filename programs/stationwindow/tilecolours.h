#ifndef TILECOLOURS_H
#define TILECOLOURS_H

#include "stationwindow/tilecontent.h"

#include <QColor>

class QPalette;

// A tile's fill and the colour of the words on it.
struct TileColours
{
    QColor background;
    QColor text;

    // The colours of `tone` under `palette`. The four states an operator
    // must tell apart at a glance differ in lightness as well as in hue, so
    // that they stay apart with the common colour-vision deficiencies: blue
    // working, a light bluish green OK, a dark red FAILED and a bright amber for a
    // unit gone or interrupted. Each fill carries its own text colour, so it
    // reads the same under a light and a dark theme; an idle tile follows
    // the theme.
    static TileColours of(TileContent::Tone tone, const QPalette &palette);
};

#endif // TILECOLOURS_H
