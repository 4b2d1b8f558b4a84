#include "dialogs/Pictures.h"

#include <QPainter>
#include <QPixmap>
#include <QPolygonF>
#include <QTransform>

namespace kestrova {

QImage DrawArrow(TArrowDirection direction, bool selected)
{
    QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    if (selected) { // a sunken light square behind the arrow
        painter.fillRect(0, 0, 16, 16, QColor(200, 220, 250));
        painter.setPen(QColor(70, 100, 160));
        painter.drawRect(0, 0, 15, 15);
    }
    painter.setRenderHint(QPainter::Antialiasing);
    // The up arrow around the centre, turned for the other directions: a head 12 wide and a
    // shaft 4 wide.
    const qreal angle = direction == arUp ? 0
        : direction == arRight            ? 90
        : direction == arDown             ? 180
                                          : 270;
    painter.translate(8, 8);
    painter.rotate(angle);
    const QPolygonF arrow(
        { { 0, -7 }, { 6, -1 }, { 2, -1 }, { 2, 7 }, { -2, 7 }, { -2, -1 }, { -6, -1 } });
    painter.setPen(QPen(QColor(0, 0, 0), 1, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.setBrush(QColor(24, 52, 120));
    painter.drawPolygon(arrow);
    return image;
}

TPicturesForm::TPicturesForm()
    : ArrowUp(DrawArrow(arUp))
    , ArrowDown(DrawArrow(arDown))
    , ArrowLeft(DrawArrow(arLeft))
    , ArrowRight(DrawArrow(arRight))
    , UpArrow(QPixmap::fromImage(ArrowUp))
    , DownArrow(QPixmap::fromImage(ArrowDown))
    , LeftArrow(QPixmap::fromImage(ArrowLeft))
    , RightArrow(QPixmap::fromImage(ArrowRight))
{
    for (TArrowDirection d : { arUp, arDown, arLeft, arRight })
        FSelected[d] = QIcon(QPixmap::fromImage(DrawArrow(d, true)));
}

const QIcon &TPicturesForm::MenuImage(TArrowDirection direction, int index) const
{
    if (index == 1)
        return FSelected.at(direction);
    switch (direction) {
    case arUp:
        return UpArrow;
    case arDown:
        return DownArrow;
    case arLeft:
        return LeftArrow;
    case arRight:
        break;
    }
    return RightArrow;
}

} // namespace kestrova
