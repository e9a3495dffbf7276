#include "stationwindow/tilecolours.h"

#include <QPalette>

namespace {
const QColor darkText(0x10, 0x10, 0x10);
const QColor lightText(0xff, 0xff, 0xff);
} // namespace

TileColours TileColours::of(TileContent::Tone tone, const QPalette &palette)
{
    switch (tone) {
    case TileContent::Working: return {QColor(0x15, 0x65, 0xc0), lightText};
    case TileContent::Good: return {QColor(0x3f, 0xbf, 0x8a), darkText};
    case TileContent::Bad: return {QColor(0xa0, 0x18, 0x18), lightText};
    case TileContent::Warning: return {QColor(0xff, 0xb3, 0x00), darkText};
    case TileContent::Idle: break;
    }
    // A step off the window's own colour, towards its middle, so an empty
    // tile is seen as a tile in either theme.
    const QColor window = palette.color(QPalette::Window);
    return {window.lightness() > 128 ? window.darker(112) : window.lighter(160),
            palette.color(QPalette::WindowText)};
}
