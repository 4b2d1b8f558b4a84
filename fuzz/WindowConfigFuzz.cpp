// Fuzz target: the window configuration string as a host may send it. Malformed text may only
// raise EConvertError; whatever is accepted is written back in the current form and must read
// back as the same layout.

#include "FuzzTarget.h"
#include "grid/AlertGridsConfig.h"
#include "support/Exceptions.h"

using namespace kestrova;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view text = FuzzText(data, size);
    std::optional<TWindowConfigChange> change;
    try {
        change = ParseWindowConfig(text, 51, 64);
    } catch (const EConvertError &) {
        return 0;
    }
    if (!change)
        return 0;
    FuzzCheck(!change->Entries.empty());
    TWindowLayout layout;
    for (const TLayoutEntry &e : change->Entries) {
        FuzzCheck(e.Type <= 14 && e.Size >= 1 && e.Size <= MaxLayoutSize);
        layout.Entries.push_back(e);
    }
    layout.Direction = change->Direction;
    layout.Scheme = SchemeNumber(change->SchemeName.value_or("LIST_0"));
    layout.DescriptionHeight = change->DescriptionHeight.value_or(0);
    layout.BacktestHeight = change->BacktestHeight.value_or(0);
    layout.ViewMode = change->ViewMode;
    layout.SortKey = change->SortKey;
    const auto again = ParseWindowConfig(FormatWindowConfig(layout), 51, 64);
    FuzzCheck(again.has_value());
    if (layout.Entries[0].Type != 0) // a lone blank column takes the default width back
        FuzzCheck(again->Entries == layout.Entries);
    FuzzCheck(again->Direction == layout.Direction);
    FuzzCheck(again->ViewMode == layout.ViewMode && again->SortKey == layout.SortKey);
    FuzzCheck(*again->DescriptionHeight == layout.DescriptionHeight);
    FuzzCheck(*again->BacktestHeight == layout.BacktestHeight);
    return 0;
}

std::vector<std::string> FuzzSeeds()
{
    return {
        "B,8,7,51,2,76,1,40,9,45,3,45,4,176,8,33,6,42,0,2",
        "C,8,7,51,2,76,1,40,9,45,3,45,4,176,8,33,6,42,0,2,20,31,1,0",
        "C,2,3,60,4,300,2,3,0,0,3,3",
        "A,3,60,4,200",
        "C,0,0,2,20,31,4,0",
        "C,1,\"3\", 60 ,1,LIST,x,y,z,w",
    };
}
