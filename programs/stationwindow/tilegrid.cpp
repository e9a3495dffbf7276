#include "stationwindow/tilegrid.h"

#include "stationwindow/slottile.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {
const int gap = 8;
// Tiles look best this many times wider than tall: the state and the
// failed command are long lines.
const double tileShape = 1.5;
} // namespace

TileGrid::TileGrid(QWidget *parent)
    : QWidget(parent)
{
    setMinimumSize(200, 150);
}

SlotTile *TileGrid::tile(const QString &slot) const
{
    auto found = std::find_if(tileList.begin(), tileList.end(), [&](SlotTile *t) { return t->view().slot == slot; });
    return found != tileList.end() ? *found : nullptr;
}

SlotTile *TileGrid::addTile(const QString &slot, const QStringList &order)
{
    auto *made = new SlotTile(this);
    SlotView view;
    view.slot = slot;
    made->setView(view, false);
    tileList << made;
    std::stable_sort(tileList.begin(), tileList.end(), [&](SlotTile *a, SlotTile *b) {
        return order.indexOf(a->view().slot) < order.indexOf(b->view().slot);
    });
    placeTiles();
    made->setVisible(true);
    update();
    emit tileAdded(made);
    return made;
}

QVector<SlotTile *> TileGrid::tiles() const
{
    return tileList;
}

void TileGrid::clear()
{
    qDeleteAll(tileList);
    tileList.clear();
    update();
}

void TileGrid::setPlaceholder(const QString &text)
{
    placeholder = text;
    update();
}

void TileGrid::resizeEvent(QResizeEvent *)
{
    placeTiles();
}

void TileGrid::paintEvent(QPaintEvent *)
{
    if (!tileList.isEmpty())
        return;
    QPainter painter(this);
    QFont font = painter.font();
    font.setPixelSize(std::max(14, height() / 20));
    painter.setFont(font);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(rect().adjusted(gap, gap, -gap, -gap), Qt::AlignCenter | Qt::TextWordWrap, placeholder);
}

void TileGrid::placeTiles()
{
    if (tileList.isEmpty())
        return;
    const int columns = columnCount();
    const int rows = (int(tileList.size()) + columns - 1) / columns;
    const double width = double(this->width() - gap) / columns;
    const double height = double(this->height() - gap) / rows;
    for (int i = 0; i < tileList.size(); ++i) {
        const int column = i % columns;
        const int row = i / columns;
        const QPoint topLeft(gap + int(column * width), gap + int(row * height));
        const QPoint next(gap + int((column + 1) * width), gap + int((row + 1) * height));
        tileList[i]->setGeometry(QRect(topLeft, next - QPoint(gap + 1, gap + 1)));
    }
}

// The column count whose tiles, kept to a wide shape, come out largest.
int TileGrid::columnCount() const
{
    const int count = int(tileList.size());
    int best = 1;
    double bestSize = 0;
    for (int columns = 1; columns <= count; ++columns) {
        const int rows = (count + columns - 1) / columns;
        const double width = double(this->width() - gap) / columns - gap;
        const double height = double(this->height() - gap) / rows - gap;
        const double size = std::min(width / tileShape, height);
        if (size > bestSize) {
            bestSize = size;
            best = columns;
        }
    }
    return best;
}
