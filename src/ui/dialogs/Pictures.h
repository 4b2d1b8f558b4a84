#pragma once
// The pictures of the alert grid's "Direction" menu: four 16 x 16 arrows on a transparent
// ground, drawn in code, and the same arrows as menu icons. Owned by the grid; needs a
// QGuiApplication. GUI thread only.

#include <QIcon>
#include <QImage>

namespace kestrova {

enum TArrowDirection { adUp, adDown, adLeft, adRight };

// One 16 x 16 arrow pointing in direction, dark on transparent.
QImage DrawArrow(TArrowDirection direction);

class TPicturesForm
{
public:
    TPicturesForm();

    QImage ArrowUp, ArrowDown, ArrowLeft, ArrowRight;
    // Menu-size icons of the same arrows, for the "Up", "Down", "Left" and "Right" items.
    QIcon UpArrow, DownArrow, LeftArrow, RightArrow;
};

} // namespace kestrova
