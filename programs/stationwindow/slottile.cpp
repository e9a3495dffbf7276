#include "stationwindow/slottile.h"

#include "stationwindow/tilecolours.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace {
// The rows of a tile, in layout units: the name, the state, the bar, and a
// detail row.
const double nameRow = 2.4;
const double stateRow = 2.0;
const double barRow = 0.6;
const double detailRow = 1.3;
const double margin = 0.5;
// The smallest text drawn, in pixels, before it is cut short instead.
const int smallestPixels = 11;

QFont sized(QFont font, double pixels, bool bold)
{
    font.setPixelSize(std::max(1, int(std::lround(pixels))));
    font.setBold(bold);
    return font;
}

// Draws `text` on one line of `box`: in `font`, or smaller down to the
// smallest readable size when it does not fit, then cut short with an
// ellipsis where `elide` says.
void drawFitted(QPainter &painter, const QRectF &box, const QString &text, QFont font,
                Qt::TextElideMode elide = Qt::ElideRight)
{
    const int wanted = font.pixelSize();
    const double width = QFontMetricsF(font).horizontalAdvance(text);
    if (width > box.width()) {
        const int smallest = std::min(wanted, std::max(smallestPixels, wanted * 2 / 3));
        font.setPixelSize(std::max(smallest, int(wanted * box.width() / width)));
    }
    painter.setFont(font);
    const QString shown = painter.fontMetrics().elidedText(text, elide, int(box.width()));
    painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, shown);
}
} // namespace

SlotTile::SlotTile(QWidget *parent)
    : QWidget(parent)
    , retryButton(new QPushButton(QStringLiteral("Retry"), this))
{
    retryButton->setToolTip(QStringLiteral("Serve the unit in this slot again"));
    retryButton->hide();
    // Hidden at once: a second press would ask for one more attempt.
    connect(retryButton, &QPushButton::clicked, this, [this] {
        retryButton->hide();
        emit retryPressed(slot.slot);
    });
}

void SlotTile::setView(const SlotView &view, bool retryAllowed)
{
    const TileContent before = content;
    const bool retryBefore = retryButton->isVisible();
    slot = view;
    content = TileContent::of(view);
    retryButton->setVisible(retryAllowed && view.state == SlotView::Failed && view.attached);
    setAccessibleName(content.name);
    setAccessibleDescription(text());
    setToolTip(view.record.isEmpty() ? QString() : QStringLiteral("Double-click for the last record"));
    // Most changes are a command more done: only the state and the bar are
    // drawn anew then, not every text of the tile.
    const bool progressOnly = content.name == before.name && content.tone == before.tone
                           && content.details == before.details && retryBefore == retryButton->isVisible();
    if (progressOnly)
        update(stateArea());
    else
        update();
}

const SlotView &SlotTile::view() const
{
    return slot;
}

QString SlotTile::text() const
{
    return (QStringList{content.name, content.state} + content.details).join(QLatin1Char('\n'));
}

// The state's row and the bar's.
QRect SlotTile::stateArea() const
{
    const double u = unit();
    return QRectF(0, u * (margin + nameRow), width(), u * (stateRow + barRow)).toAlignedRect();
}

double SlotTile::unit() const
{
    const double rowsInView = margin * 2 + nameRow + stateRow + barRow + 4 * detailRow;
    return std::min(height() / rowsInView, width() / 14.0);
}

void SlotTile::paintEvent(QPaintEvent *event)
{
    const TileColours colours = TileColours::of(content.tone, palette());
    const double u = unit();
    const QRectF tile = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().color(QPalette::Mid), 1));
    painter.setBrush(colours.background);
    painter.drawRoundedRect(tile, u * 0.4, u * 0.4);

    painter.setPen(colours.text);
    const double left = u * margin;
    const double width = tile.width() - 2 * left;
    double top = u * margin;
    const double nameWidth = retryButton->isVisible() ? retryButton->x() - left - u * 0.3 : width;
    // Text outside the area to draw is not laid out at all.
    const auto inView = [event](const QRectF &box) { return event->rect().intersects(box.toAlignedRect()); };
    const QRectF nameBox(left, top, nameWidth, u * nameRow);
    if (inView(nameBox))
        // A slot without a name is called by its port's path, whose end
        // tells the slots apart.
        drawFitted(painter, nameBox, content.name, sized(font(), u * 1.9, true), Qt::ElideLeft);
    top += u * nameRow;
    drawFitted(painter, QRectF(left, top, width, u * stateRow), content.state, sized(font(), u * 1.5, true));
    top += u * stateRow;
    if (content.total > 0) {
        const QRectF bar(left, top + u * 0.1, width, u * (barRow - 0.2));
        QColor track = colours.text;
        track.setAlphaF(0.25);
        painter.setPen(Qt::NoPen);
        painter.setBrush(track);
        painter.drawRect(bar);
        painter.setBrush(colours.text);
        painter.drawRect(QRectF(bar.topLeft(), QSizeF(bar.width() * content.done / content.total, bar.height())));
        painter.setPen(colours.text);
    }
    top += u * barRow;
    const QFont detailFont = sized(font(), std::max<double>(u * 0.95, smallestPixels), false);
    const double rowHeight = std::max(u * detailRow, QFontMetricsF(detailFont).height());
    for (const QString &line : content.details) {
        const QRectF lineBox(left, top, width, rowHeight);
        if (lineBox.bottom() > tile.bottom() - u * margin * 0.5)
            break;
        if (inView(lineBox))
            drawFitted(painter, lineBox, line, detailFont);
        top += rowHeight;
    }
}

void SlotTile::resizeEvent(QResizeEvent *)
{
    placeRetryButton();
}

void SlotTile::placeRetryButton()
{
    const double u = unit();
    QFont buttonFont = sized(font(), std::max<double>(u * 1.1, smallestPixels + 2), true);
    retryButton->setFont(buttonFont);
    const int buttonHeight = int(u * nameRow * 0.9);
    const int buttonWidth = std::max(int(u * 6), QFontMetrics(buttonFont).horizontalAdvance(retryButton->text()) + int(u * 1.5));
    retryButton->setGeometry(width() - int(u * margin) - buttonWidth, int(u * margin), buttonWidth, buttonHeight);
}

void SlotTile::mouseDoubleClickEvent(QMouseEvent *)
{
    if (!slot.record.isEmpty())
        emit detailsRequested(slot);
}
