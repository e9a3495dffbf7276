#ifndef SLOTTILE_H
#define SLOTTILE_H

#include "station/slotview.h"
#include "stationwindow/tilecontent.h"

#include <QWidget>

class QPushButton;

// One slot of the bench, drawn to be read from across the bench: the slot's
// name and state large on the colour of the state, a progress bar and the
// details below, every text shrunk to fit its tile. A failed unit still in
// its slot gets a Retry button; a double click asks for its last record.
class SlotTile : public QWidget
{
    Q_OBJECT

public:
    explicit SlotTile(QWidget *parent = nullptr);

    void setView(const SlotView &view, bool retryAllowed);
    const SlotView &view() const;
    // Every line the tile shows, in its order: what an operator reads.
    QString text() const;

signals:
    void retryPressed(const QString &slot);
    void detailsRequested(const SlotView &view);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    // The height of one unit of the tile's layout, in pixels.
    double unit() const;
    QRect stateArea() const;
    void placeRetryButton();

    SlotView slot;
    TileContent content;
    QPushButton *retryButton;
};

#endif // SLOTTILE_H
