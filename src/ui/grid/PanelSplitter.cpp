// The alert panel's splitter bar.

#include "grid/PanelSplitter.h"

#include "support/DebugLog.h"

#include <QMouseEvent>
#include <QPainter>

namespace kestrova {

TPanelSplitter::TPanelSplitter(QWidget *parent)
    : QWidget(parent)
{
    setCursor(Qt::SplitVCursor);
    setFixedHeight(Thickness);
}

void TPanelSplitter::paintEvent(QPaintEvent *)
{
    QPainter(this).fillRect(rect(), palette().color(QPalette::Button));
}

void TPanelSplitter::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    FDragging = true;
    FPressY = static_cast<int>(event->globalPosition().y());
}

void TPanelSplitter::mouseMoveEvent(QMouseEvent *event)
{
    if (!FDragging || !OnDrag)
        return;
    const int delta = static_cast<int>(event->globalPosition().y()) - FPressY;
    RunGuarded("AlertPanels, TPanelSplitter.Drag", [&] { OnDrag(delta, false); });
}

void TPanelSplitter::mouseReleaseEvent(QMouseEvent *event)
{
    if (!FDragging || event->button() != Qt::LeftButton)
        return;
    FDragging = false;
    const int delta = static_cast<int>(event->globalPosition().y()) - FPressY;
    if (OnDrag)
        RunGuarded("AlertPanels, TPanelSplitter.Drag", [&] { OnDrag(delta, true); });
}

} // namespace kestrova
