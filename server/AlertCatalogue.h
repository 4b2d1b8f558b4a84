#pragma once
// The server's fixed catalogue: alert types (with their mirror images), exchanges and the
// window filters a data configuration may carry. Indices into these tables are stable and are
// what the simulation and the filters use. The configuration editor's reply is written from
// these same tables, so what a user can choose is exactly what the server filters by.

#include <string>
#include <string_view>
#include <vector>

namespace kestrova::alertd {

enum class TDirection { Up, Down, Neutral };

struct TAlertTypeInfo
{
    std::string Code;
    std::string Description;
    std::string QualityName; // empty: the type has no quality filter
    std::string Flip; // code of the mirror-image type; empty: its own mirror
    std::string Keywords;
    TDirection Direction = TDirection::Neutral;
    std::string QualityFormat; // printf-style pattern for the quality value
};

struct TExchangeInfo
{
    std::string Code;
    std::string Description;
    // Listed but not offered: no symbol trades there. Disabled exchanges come last.
    bool Disabled = false;
};

// A window filter. A number filter passes an alert whose value lies on the right side of the
// window's limit; a yes/no filter, when on, passes only alerts that carry the value at all.
enum class TFilterField { Price, RelVol, DayRange, Volatility };
enum class TFilterKind { Number, YesNo };
struct TFilterInfo
{
    std::string Name;
    std::string Description;
    std::string Units;
    TFilterField Field = TFilterField::Price;
    bool IsMinimum = true;
    TFilterKind Kind = TFilterKind::Number;
    std::string Flip; // operator and partner filter name; empty: unchanged by Flip
    std::string Keywords;
};

const std::vector<TAlertTypeInfo> &AlertTypes();
const std::vector<TExchangeInfo> &Exchanges();
// The exchanges symbols trade on: the leading ones that are not disabled.
int TradedExchangeCount();
const std::vector<TFilterInfo> &WindowFilters();

// Index of the entry with that code or name (exact match), or -1.
int FindAlertType(std::string_view code);
int FindExchange(std::string_view code);
int FindWindowFilter(std::string_view name);

} // namespace kestrova::alertd
