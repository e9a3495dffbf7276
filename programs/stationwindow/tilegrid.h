#ifndef TILEGRID_H
#define TILEGRID_H

#include "station/slotview.h"

#include <QStringList>
#include <QVector>
#include <QWidget>

class SlotTile;

// The bench: one tile per slot, in a grid that fills the widget and reflows
// when it is resized. The column count is the one that gives the largest
// tiles of a wide shape for the tiles there are.
class TileGrid : public QWidget
{
    Q_OBJECT

public:
    explicit TileGrid(QWidget *parent = nullptr);

    // The slot's tile; null while there is none.
    SlotTile *tile(const QString &slot) const;
    // A tile for a new slot; `order` is every slot's name in the order the
    // tiles are to be read.
    SlotTile *addTile(const QString &slot, const QStringList &order);
    QVector<SlotTile *> tiles() const;
    void clear();
    // Said in the middle of the bench while it has no tile.
    void setPlaceholder(const QString &text);

signals:
    void tileAdded(SlotTile *tile);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void placeTiles();
    int columnCount() const;

    QVector<SlotTile *> tileList;
    QString placeholder;
};

#endif // TILEGRID_H
