#include "dialogs/Pictures.h"

#include <QPainter>
#include <QPixmap>
#include <QPolygonF>
#include <QTransform>

namespace kestrova {

QImage DrawArrow(TArrowDirection direction)
{
    QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // The up arrow around the centre, turned for the other directions: a head 12 wide and a
    // shaft 4 wide.
    const qreal angle = direction == adUp ? 0
        : direction == adRight            ? 90
        : direction == adDown             ? 180
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
    : ArrowUp(DrawArrow(adUp))
    , ArrowDown(DrawArrow(adDown))
    , ArrowLeft(DrawArrow(adLeft))
    , ArrowRight(DrawArrow(adRight))
    , UpArrow(QPixmap::fromImage(ArrowUp))
    , DownArrow(QPixmap::fromImage(ArrowDown))
    , LeftArrow(QPixmap::fromImage(ArrowLeft))
    , RightArrow(QPixmap::fromImage(ArrowRight))
{
}

} // namespace kestrova
