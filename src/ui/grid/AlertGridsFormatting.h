#pragma once
// The display schemes of the server's general-info document (its FORMATTING element), shared by
// every alert grid: for each scheme and alert type, the colours, background image and boldness
// of the cells. Built once per document; lives until the library unloads. GUI thread only.

#include "xml/XmlNodes.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

enum TDisplayFlags : uint8_t {
    dfForeground = 1,
    dfBackground = 2,
    dfBackgroundImage = 4,
    dfBold = 8,
};

struct TAlertDisplayInfo
{
    uint8_t Flags = 0; // TDisplayFlags
    uint32_t Foreground = 0; // toolkit colour values, 0x00BBGGRR
    uint32_t Background = 0;
    std::string BackgroundImage; // a file name
};

struct TFormattingScheme
{
    std::string Name; // the element name, e.g. LIST_2
    std::string Caption; // its SHORT_NAME
};

class TFormattingTable
{
public:
    // Rebuilds the table from a FORMATTING element unless it is the element read last (or
    // null); true when rebuilt.
    bool Load(const PXmlNode &formatting);
    const std::vector<TFormattingScheme> &Schemes() const { return FSchemes; }
    // The display info of an alert type in a scheme, or null.
    const TAlertDisplayInfo *Find(const std::string &scheme, const std::string &alertType) const;
    // Counts the rebuilds (a menu of schemes is rebuilt when it changes).
    uint64_t Generation() const { return FGeneration; }

private:
    PXmlNode FLast;
    std::vector<TFormattingScheme> FSchemes;
    std::map<std::string, TAlertDisplayInfo, std::less<>> FInfo; // "scheme:type"
    uint64_t FGeneration = 0;
};

// The table all grids share.
TFormattingTable &FormattingTable();

// "#RRGGBB" (either case) as 0x00BBGGRR; false for any other form.
bool ParseSchemeColor(std::string_view text, uint32_t &color);
// The text after the last "/", ":" or "\".
std::string ImageFileName(std::string_view path);

} // namespace kestrova
