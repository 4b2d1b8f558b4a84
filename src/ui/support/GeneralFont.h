#pragma once
// The font of the library's forms and frames: the application's general font at 8 points. The
// faces the forms were laid out with are not fonts this platform has, so nothing is sized by their
// pixels: whatever holds text takes its size from QFontMetrics of this font.

#include <QApplication>
#include <QFont>

namespace kestrova {

inline QFont GeneralFont()
{
    QFont font = QApplication::font();
    font.setPointSize(8);
    return font;
}

} // namespace kestrova
