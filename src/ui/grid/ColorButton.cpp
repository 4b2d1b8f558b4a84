// Painting the colour button: frame, face colour, caption, then the hook and the focus mark.

#include "grid/ColorButton.h"

#include "support/DebugLog.h"

#include <QMouseEvent>
#include <QPainter>
#include <qdrawutil.h>

namespace kestrova {

TColorButton::TColorButton(QWidget *parent)
    : QPushButton(parent)
    , FColor(palette().color(QPalette::Button))
{
}

void TColorButton::SetColor(const QColor &color)
{
    if (color == FColor)
        return;
    FColor = color;
    update();
}

void TColorButton::SetHideFocus(bool hide)
{
    if (hide == FHideFocus)
        return;
    FHideFocus = hide;
    update();
}

void TColorButton::mouseDoubleClickEvent(QMouseEvent *event)
{
    mousePressEvent(event);
}

void TColorButton::paintEvent(QPaintEvent *)
{
    RunGuarded("ColorButton, TColorButton.Paint", [&] {
        QPainter painter(this);
        const QPalette &pal = palette();
        const QRect item = rect();
        QRect r = item;
        const bool pressed = isDown();
        const bool focused = hasFocus();
        const unsigned state = (pressed ? unsigned(bdsPressed) : 0u)
            | (isEnabled() ? 0u : unsigned(bdsDisabled)) | (focused ? unsigned(bdsFocused) : 0u);

        if (focused || isDefault()) {
            painter.setPen(pal.color(QPalette::WindowText));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(r.adjusted(0, 0, -1, -1));
            r.adjust(1, 1, -1, -1);
        }
        if (pressed) {
            painter.setPen(pal.color(QPalette::Dark));
            painter.setBrush(pal.color(QPalette::Button));
            painter.drawRect(r.adjusted(0, 0, -1, -1));
            r.adjust(1, 1, -1, -1);
            r.translate(1, 1);
        } else {
            qDrawWinButton(&painter, r, pal, false);
            r.adjust(2, 2, -2, -2);
        }
        painter.fillRect(r, FColor);

        painter.setFont(font());
        if (!isEnabled()) {
            // Embossed, as the platform greys out disabled captions.
            const QFontMetrics metrics(font());
            const QPoint at((item.width() - metrics.horizontalAdvance(text())) / 2,
                (item.height() - metrics.height()) / 2 + metrics.ascent());
            painter.setPen(pal.color(QPalette::Light));
            painter.drawText(at + QPoint(1, 1), text());
            painter.setPen(pal.color(QPalette::Dark));
            painter.drawText(at, text());
        } else {
            painter.setPen(pal.color(QPalette::ButtonText));
            painter.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, text());
        }

        if (OnDrawButton)
            OnDrawButton(painter, r, state);

        if (!FHideFocus && isDefault() && focused) { // a dotted focus mark
            painter.setPen(QPen(pal.color(QPalette::ButtonText), 1, Qt::DotLine));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(item.adjusted(4, 4, -5, -5));
        }
    });
}

} // namespace kestrova
