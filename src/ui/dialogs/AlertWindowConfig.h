#pragma once
// The configure-alerts dialog's data, free of widgets: the catalogue the server sends with
// "edit_config_new" (alert types, window-specific filters, exchanges, symbol lists), the
// settings shown by the controls, the strategy tree, and the operations on them: loading a
// settings element, building the "form=1" configuration string, and Flip.
//
// The client never takes a configuration string apart: the server returns the settings as a
// tree, and the string is only ever built here.

#include "xml/XmlNodes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kestrova {

enum TFilterKind : uint8_t { fkYesNo = 0, fkNumber = 1 };

// The symbol-list radio buttons.
enum TSymbolMode { smAll, smOnly, smExclude, smSingle };

struct TAlertTypeEntry
{
    std::string Code; // element name; written unencoded in the configuration string
    std::string Description;
    std::string QualityName; // empty: the type has no quality filter
    std::string Flip; // code of the mirror-image type; empty: its own mirror
    std::string Keywords; // extra search words
    // What its controls show.
    bool Checked = false;
    std::string Quality;
    bool RecentlyChanged = false;

    bool HasQuality() const { return !QualityName.empty(); }
};

struct TFilterEntry
{
    TFilterKind Kind = fkNumber;
    std::string Description;
    std::string Units; // number filters only
    std::string Name; // element name; the filter's key in the configuration string
    std::string Flip; // operator character followed by the partner filter's Name
    std::string Keywords;
    bool Checked = false; // yes/no filter
    std::string Value; // number filter
    bool RecentlyChanged = false;
};

struct TExchangeEntry
{
    std::string Code;
    std::string Description;
    bool Disabled = false;
    bool Checked = false;
};

struct TSymbolListEntry
{
    std::string Id;
    std::string Name;
    bool Checked = false;
};

// The catalogue of one reply, in the server's order, with the state of every control.
struct TAlertConfigRecord
{
    std::vector<TAlertTypeEntry> AlertTypes;
    std::vector<TFilterEntry> Filters;
    std::vector<TExchangeEntry> Exchanges;
    std::vector<TSymbolListEntry> SymbolLists;
    TSymbolMode SymbolMode = smAll;
    std::string SingleSymbol;
    std::string WindowName;

    // True when the alert-type and filter controls built for other fit this catalogue too
    // (same codes, names, descriptions, quality names, kinds, units and keywords).
    bool SameControlsAs(const TAlertConfigRecord &other) const;
};

// Reads the catalogue element CONFIG (null: everything empty). A filter whose TYPE is neither
// "D" nor "B" raises EAssertionFailed "Invalid filter type:  " + TYPE.
TAlertConfigRecord ParseAlertCatalogue(const IXmlNode *config);

// One node of the strategy tree.
struct TStrategyInfo
{
    std::string Name;
    std::string Icon;
    std::string Description;
    PXmlNode Config; // the settings element; null for folders and strategies without one
    bool UserMustModify = false;
    bool IsFolder = false;
    int Parent = -1; // index of the folder holding it; -1 at the top

    // Tree image by ICON: "!" 0, "+" 1, "-" 2, "*" 3, ":)" 4; else 5 (folder) or 0.
    int Image() const;
};
constexpr int LoadedMarkImage = 6;

struct TStrategyTree
{
    std::vector<TStrategyInfo> Nodes; // depth first, document order
    int Current = -1; // the last node marked CURRENT, or -1
};

// Reads STRATEGIES (null: an empty tree). The nodes keep the reply tree alive.
TStrategyTree ParseStrategies(const PXmlNode &strategies);

// Loads a settings element (null: nothing selected) into the controls' state. Catalogue,
// RecentlyChanged flags and everything but the controls' values are left alone.
void ApplyStrategyConfig(TAlertConfigRecord &record, const IXmlNode *settings);

// The configuration string of the controls' state, beginning with "form=1".
std::string BuildConfigString(const TAlertConfigRecord &record);

// The controls' state after Flip: mirrored alert types, number filters by their rules, and the
// window name with "Flipped: " added or removed. Exchanges and lists are unchanged.
TAlertConfigRecord FlippedSettings(const TAlertConfigRecord &record);

// The new text of a number filter with flip rule "rule" whose own text is ownText, reading the
// partner's text from the filters as they are.
std::string ApplyFlipRule(
    const std::string &rule, const std::string &ownText, const std::vector<TFilterEntry> &filters);

} // namespace kestrova
