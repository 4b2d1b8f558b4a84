#pragma once
// The vocabulary of alert grids: the data types that name columns (rows in the horizontal
// directions) with their names, width limits and groupability, the insertion directions and the
// view modes.

#include "alerts/DataTypes.h"

#include <cstdint>

namespace kestrova {

// Insertion directions (a byte in the window configuration).
enum TAlertDirection : uint8_t { adDown = 0, adUp = 1, adLeft = 2, adRight = 3 };
// View modes; 0 behaves as 1.
enum TViewMode : uint8_t {
    vmDefault = 0,
    vmNewestFirst = 1,
    vmWriteOver = 2,
    vmGroupSortBy = 3,
    vmGroupNewestSymbols = 4
};
enum TAlertGridSelectionType { agstNone, agstSingleClick, agstDoubleClick, agstBoth };

struct TDataTypeInfo
{
    const char *Name; // header text and menu caption
    int MaxWidth; // widest a column of this type gets; 0 for no limit
};

// Types outside 0..14 read as the blank type.
const TDataTypeInfo &DataTypeInfo(int type);
// The alert list can group and sort by it; false for keys outside the known types.
bool IsGroupable(int sortKey);
// "Down", "Up", "Left", "Right"; empty outside 0..3.
const char *DirectionCaption(int direction);
// "Default", "Newest First", "Write Over", "Group && Sort By", "Group && Newest Symbols First".
const char *ViewModeCaption(int mode);

inline bool IsVertical(int direction)
{
    return direction == adDown || direction == adUp;
}
inline bool IsHorizontal(int direction)
{
    return direction == adLeft || direction == adRight;
}

} // namespace kestrova
