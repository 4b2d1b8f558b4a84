#pragma once
// TColorButton: a push button whose face is painted in a chosen colour (the alert panel's green
// "Backtest" / red "Stop" button). A double click counts as a second click.

#include <QPushButton>
#include <functional>

namespace kestrova {

// The draw state handed to OnDrawButton.
enum TButtonDrawState : unsigned { bdsPressed = 1, bdsDisabled = 2, bdsFocused = 4 };

class TColorButton : public QPushButton
{
    Q_OBJECT

public:
    explicit TColorButton(QWidget *parent = nullptr);

    QColor Color() const { return FColor; }
    void SetColor(const QColor &color);
    bool HideFocus() const { return FHideFocus; }
    void SetHideFocus(bool hide);

    // Called after the face and caption are painted, with the face rectangle and the state.
    std::function<void(QPainter &, const QRect &, unsigned state)> OnDrawButton;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    QColor FColor;
    bool FHideFocus = false;
};

} // namespace kestrova
