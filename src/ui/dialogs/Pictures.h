#pragma once
// The pictures of the alert grid's "Direction" menu: four 16 x 16 arrows on a transparent
// ground, drawn in code, and the same arrows as menu icons. Owned by the grid; needs a
// QGuiApplication. GUI thread only.

#include <QIcon>
#include <QImage>
#include <array>

namespace kestrova {

enum TArrowDirection { arUp, arDown, arLeft, arRight };

// One 16 x 16 arrow pointing in direction, dark on transparent; selected: on a light frame, the
// picture of the current direction.
QImage DrawArrow(TArrowDirection direction, bool selected = false);

class TPicturesForm
{
public:
    TPicturesForm();

    QImage ArrowUp, ArrowDown, ArrowLeft, ArrowRight;
    // Menu-size icons of the same arrows, for the "Up", "Down", "Left" and "Right" items.
    QIcon UpArrow, DownArrow, LeftArrow, RightArrow;

    // The menu picture of a direction's item: image 1 (the selected arrow) for the current
    // direction, image 0 otherwise.
    const QIcon &MenuImage(TArrowDirection direction, int index) const;

private:
    std::array<QIcon, 4> FSelected;
};

} // namespace kestrova
