#pragma once
// The server's fixed catalogue: alert types (with their mirror images), exchanges and the
// window filters a data configuration may carry. Indices into these tables are stable and are
// what the simulation and the filters use.

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
};

// A number filter of a window: the alert passes when its value lies on the right side.
enum class TFilterField { Price, RelVol, DayRange, Volatility };
struct TFilterInfo
{
    std::string Name;
    std::string Description;
    std::string Units;
    TFilterField Field = TFilterField::Price;
    bool IsMinimum = true;
};

const std::vector<TAlertTypeInfo> &AlertTypes();
const std::vector<TExchangeInfo> &Exchanges();
const std::vector<TFilterInfo> &WindowFilters();

// Index of the entry with that code or name (exact match), or -1.
int FindAlertType(std::string_view code);
int FindExchange(std::string_view code);
int FindWindowFilter(std::string_view name);

} // namespace kestrova::alertd
