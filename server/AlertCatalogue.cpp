#include "AlertCatalogue.h"

namespace kestrova::alertd {

namespace {
template<typename T, typename Key>
int IndexOf(const std::vector<T> &table, std::string_view key, Key T::*field)
{
    for (size_t i = 0; i < table.size(); ++i)
        if (table[i].*field == key)
            return static_cast<int>(i);
    return -1;
}
} // namespace

const std::vector<TAlertTypeInfo> &AlertTypes()
{
    using D = TDirection;
    static const std::vector<TAlertTypeInfo> types = {
        { "NH", "New high", "Days", "NL", "high breakout record", D::Up, "%.0f days" },
        { "NL", "New low", "Days", "NH", "low breakdown record", D::Down, "%.0f days" },
        { "CAO", "Crossed above open", "", "CBO", "open cross", D::Up, "" },
        { "CBO", "Crossed below open", "", "CAO", "open cross", D::Down, "" },
        { "GU", "Gap up", "Gap %", "GD", "gap opening", D::Up, "%.1f%%" },
        { "GD", "Gap down", "Gap %", "GU", "gap opening", D::Down, "%.1f%%" },
        { "RU", "Running up", "Speed", "RD", "momentum run fast", D::Up, "%.1f" },
        { "RD", "Running down", "Speed", "RU", "momentum run fast", D::Down, "%.1f" },
        { "VSU", "Volume spike up", "Ratio", "VSD", "volume spike", D::Up, "%.1fx" },
        { "VSD", "Volume spike down", "Ratio", "VSU", "volume spike", D::Down, "%.1fx" },
        { "CAR", "Crossed above resistance", "", "CBS", "resistance breakout", D::Up, "" },
        { "CBS", "Crossed below support", "", "CAR", "support breakdown", D::Down, "" },
        { "PBH", "Pullback from highs", "Percent", "BOL", "pullback retrace", D::Down, "%.2f%%" },
        { "BOL", "Bounce off lows", "Percent", "PBH", "bounce retrace", D::Up, "%.2f%%" },
        { "TRU", "Trending up", "Minutes", "TRD", "trend steady", D::Up, "%.0f min" },
        { "TRD", "Trending down", "Minutes", "TRU", "trend steady", D::Down, "%.0f min" },
        { "WRU", "Wide range bar up", "", "WRD", "range bar candle", D::Up, "" },
        { "WRD", "Wide range bar down", "", "WRU", "range bar candle", D::Down, "" },
        { "BLK", "Block trade", "Shares (K)", "", "block print size", D::Neutral, "%.0fK" },
        { "SPR", "Wide spread", "Cents", "", "spread quote liquidity", D::Neutral, "%.0f c" },
    };
    return types;
}

const std::vector<TExchangeInfo> &Exchanges()
{
    static const std::vector<TExchangeInfo> exchanges = {
        { "KVX", "Kestrova Exchange" },
        { "NBX", "Northbridge Exchange" },
        { "ARX", "Arden Regional Exchange" },
    };
    return exchanges;
}

const std::vector<TFilterInfo> &WindowFilters()
{
    using F = TFilterField;
    static const std::vector<TFilterInfo> filters = {
        { "MinPrice", "Minimum price", "$", F::Price, true },
        { "MaxPrice", "Maximum price", "$", F::Price, false },
        { "MinRV", "Minimum relative volume", "ratio", F::RelVol, true },
        { "MaxRV", "Maximum relative volume", "ratio", F::RelVol, false },
        { "MinDR", "Minimum position in daily range", "%", F::DayRange, true },
        { "MaxDR", "Maximum position in daily range", "%", F::DayRange, false },
        { "MinVol", "Minimum volatility", "$", F::Volatility, true },
    };
    return filters;
}

int FindAlertType(std::string_view code)
{
    return IndexOf(AlertTypes(), code, &TAlertTypeInfo::Code);
}

int FindExchange(std::string_view code)
{
    return IndexOf(Exchanges(), code, &TExchangeInfo::Code);
}

int FindWindowFilter(std::string_view name)
{
    return IndexOf(WindowFilters(), name, &TFilterInfo::Name);
}

} // namespace kestrova::alertd
