#pragma once
// A 2-pixel bar between the strips of an alert panel; dragging it reports how far the mouse
// moved, and the panel decides (and snaps) the strip's height.

#include <QWidget>
#include <functional>

namespace kestrova {

class TPanelSplitter : public QWidget
{
    Q_OBJECT

public:
    static constexpr int Thickness = 2;

    explicit TPanelSplitter(QWidget *parent = nullptr);

    // delta: pixels the mouse moved down since the press; finished on release.
    std::function<void(int delta, bool finished)> OnDrag;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool FDragging = false;
    int FPressY = 0;
};

} // namespace kestrova
