// The alert grid's vocabulary.

#include "grid/AlertGridsTypes.h"

#include "alerts/AlertLists.h"

#include <array>
#include <cstddef>

namespace kestrova {

namespace {
const std::array<TDataTypeInfo, DataTypeCount> DataTypeTable = { {
    { "", 0 },
    { "Icon", 40 },
    { "Time", 0 },
    { "Symbol", 0 },
    { "Description", 0 },
    { "Quality", 0 },
    { "Relative Volume", 0 },
    { "Age", 0 },
    { "#", 0 },
    { "Range", 0 },
    { "Weekly Chart", 53 },
    { "Daily Chart", 66 },
    { "Volatility", 0 },
    { "Std Dev", 0 },
    { "Wiggle", 0 },
} };
} // namespace

const TDataTypeInfo &DataTypeInfo(int type)
{
    return type >= 0 && type < DataTypeCount ? DataTypeTable[static_cast<size_t>(type)]
                                             : DataTypeTable[0];
}

bool IsGroupable(int sortKey)
{
    return sortKey >= 0 && sortKey < DataTypeCount
        && IsSortableKey(static_cast<TDataTypes>(sortKey));
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
