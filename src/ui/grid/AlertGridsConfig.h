#pragma once
// The window configuration string: the comma-separated text that describes an alert grid's
// layout. "C" (current) and "B" (older, without the last four fields) give data types with
// their sizes, the direction, the colour scheme, the panel's strip heights, the view mode and
// the sort key; "A" (oldest) gives data types and sizes only.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

// One data line: its type and its size (column width, or row height in the horizontal
// directions).
struct TLayoutEntry
{
    uint8_t Type = 0;
    int Size = 0;
    bool operator==(const TLayoutEntry &) const = default;
};

// A grid's layout as the "C" string states it.
struct TWindowLayout
{
    std::vector<TLayoutEntry> Entries;
    int Direction = 0;
    int Scheme = 0; // the number of the scheme name LIST_<n>
    int DescriptionHeight = 0;
    int BacktestHeight = 0;
    int ViewMode = 1;
    int SortKey = 0;
};

// "C,N,type,size,...,direction,scheme,descriptionHeight,backtestHeight,viewMode,sortKey".
std::string FormatWindowConfig(const TWindowLayout &layout);
// The number after the first "_" of a scheme name; 0 when there is none or it is not a
// positive integer.
int SchemeNumber(const std::string &schemeName);

// What a window configuration string asks of a grid. Unset fields leave the grid as it is.
struct TWindowConfigChange
{
    std::vector<TLayoutEntry> Entries; // blank types removed; never empty
    int Direction = 0;
    std::optional<std::string> SchemeName; // "LIST_" + the field as written
    int ViewMode = 1;
    int SortKey = 0;
    std::optional<int> DescriptionHeight;
    std::optional<int> BacktestHeight;
};

// Largest column width, row height or strip height a string may give.
constexpr int MaxLayoutSize = 32767;

// Reads a window configuration string. Nothing is returned for a string that changes nothing:
// an unknown first field, an "A" string with an even number of fields, a direction outside
// 0..3. Raises EConvertError for a field that is not a decimal integer where one is needed,
// for a column count that is negative or larger than the fields hold, and for a size or height
// outside 0..MaxLayoutSize; nothing is to be applied then either. column0Width is the width an
// empty list (N = 0) takes; defaultWidth the width of the blank column left when every type is
// blank.
std::optional<TWindowConfigChange> ParseWindowConfig(
    std::string_view value, int column0Width, int defaultWidth);

} // namespace kestrova
