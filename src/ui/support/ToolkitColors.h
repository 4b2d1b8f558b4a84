#pragma once
// Colours given as toolkit colour values (0x00BBGGRR: red in the low byte), as the server's
// display schemes and the window layout speak of them.

#include <QColor>
#include <cstdint>

namespace kestrova {

inline QColor ToolkitColor(uint32_t value)
{
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

inline uint32_t ToToolkitColor(const QColor &color)
{
    return static_cast<uint32_t>(color.red()) | (static_cast<uint32_t>(color.green()) << 8)
        | (static_cast<uint32_t>(color.blue()) << 16);
}

} // namespace kestrova
