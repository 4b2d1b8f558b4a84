// The alert grid's vocabulary.

#include "grid/AlertGridsTypes.h"

#include <array>
#include <cstddef>

namespace kestrova {

namespace {
const std::array<TDataTypeInfo, DataTypeCount> DataTypeTable = { {
    { "", 0, false },
    { "Icon", 40, false },
    { "Time", 0, true },
    { "Symbol", 0, true },
    { "Description", 0, false },
    { "Quality", 0, true },
    { "Relative Volume", 0, true },
    { "Age", 0, false },
    { "#", 0, true },
    { "Range", 0, true },
    { "Weekly Chart", 53, false },
    { "Daily Chart", 66, false },
    { "Volatility", 0, true },
    { "Std Dev", 0, true },
    { "Wiggle", 0, true },
} };
} // namespace

const TDataTypeInfo &DataTypeInfo(int type)
{
    return type >= 0 && type < DataTypeCount ? DataTypeTable[static_cast<size_t>(type)]
                                             : DataTypeTable[0];
}

bool IsGroupable(int sortKey)
{
    return sortKey >= 0 && sortKey < DataTypeCount && DataTypeInfo(sortKey).Groupable;
}

const char *DirectionCaption(int direction)
{
    static const char *const names[] = { "Down", "Up", "Left", "Right" };
    return direction >= 0 && direction < 4 ? names[direction] : "";
}

const char *ViewModeCaption(int mode)
{
    static const char *const names[] = { "Default", "Newest First", "Write Over",
        "Group && Sort By", "Group && Newest Symbols First" };
    return mode >= 0 && mode < 5 ? names[mode] : "";
}

} // namespace kestrova
