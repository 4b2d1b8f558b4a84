#include "AlertCatalogue.h"

#include <algorithm>

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
    // Keywords beginning with "." are the categories the configuration editor offers.
    static const std::vector<TAlertTypeInfo> types = {
        { "NH", "New high", "Days", "NL", "high breakout record .highs.and.lows.", D::Up,
            "%.0f days" },
        { "NL", "New low", "Days", "NH", "low breakdown record .highs.and.lows.", D::Down,
            "%.0f days" },
        { "CAO", "Crossed above open", "", "CBO", "open cross .crossings.", D::Up, "" },
        { "CBO", "Crossed below open", "", "CAO", "open cross .crossings.", D::Down, "" },
        { "GU", "Gap up", "Gap %", "GD", "gap opening .gaps.", D::Up, "%.1f%%" },
        { "GD", "Gap down", "Gap %", "GU", "gap opening .gaps.", D::Down, "%.1f%%" },
        { "RU", "Running up", "Speed", "RD", "momentum run fast .momentum.", D::Up, "%.1f" },
        { "RD", "Running down", "Speed", "RU", "momentum run fast .momentum.", D::Down, "%.1f" },
        { "VSU", "Volume spike up", "Ratio", "VSD", "volume spike .volume.", D::Up, "%.1fx" },
        { "VSD", "Volume spike down", "Ratio", "VSU", "volume spike .volume.", D::Down, "%.1fx" },
        { "CAR", "Crossed above resistance", "", "CBS", "resistance breakout .crossings.", D::Up,
            "" },
        { "CBS", "Crossed below support", "", "CAR", "support breakdown .crossings.", D::Down, "" },
        { "PBH", "Pullback from highs", "Percent", "BOL", "pullback retrace .pullbacks.", D::Down,
            "%.2f%%" },
        { "BOL", "Bounce off lows", "Percent", "PBH", "bounce retrace .pullbacks.", D::Up,
            "%.2f%%" },
        { "TRU", "Trending up", "Minutes", "TRD", "trend steady .momentum.", D::Up, "%.0f min" },
        { "TRD", "Trending down", "Minutes", "TRU", "trend steady .momentum.", D::Down,
            "%.0f min" },
        { "WRU", "Wide range bar up", "", "WRD", "range bar candle .candles.", D::Up, "" },
        { "WRD", "Wide range bar down", "", "WRU", "range bar candle .candles.", D::Down, "" },
        { "BLK", "Block trade", "Shares (K)", "", "block print size .volume.", D::Neutral,
            "%.0fK" },
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
        { "OTC", "Over the counter (not offered)", true },
    };
    return exchanges;
}

int TradedExchangeCount()
{
    const auto &exchanges = Exchanges();
    return static_cast<int>(std::find_if(exchanges.begin(), exchanges.end(),
                                [](const TExchangeInfo &e) { return e.Disabled; })
        - exchanges.begin());
}

const std::vector<TFilterInfo> &WindowFilters()
{
    using F = TFilterField;
    constexpr auto Number = TFilterKind::Number;
    // Flip: a price limit stays, a position in the day's range turns around (100 - x).
    static const std::vector<TFilterInfo> filters = {
        { "MinPrice", "Min Price", "$", F::Price, true, Number, "+MinPrice", "dollars .basics." },
        { "MaxPrice", "Max Price", "$", F::Price, false, Number, "+MaxPrice", "dollars" },
        { "MinRV", "Min Relative Volume", "ratio", F::RelVol, true, Number, "+MinRV",
            "rvol .volume." },
        { "MaxRV", "Max Relative Volume", "ratio", F::RelVol, false, Number, "+MaxRV", "rvol" },
        { "MinDR", "Min Position in Range", "%", F::DayRange, true, Number, "%MaxDR",
            "daily range .range." },
        { "MaxDR", "Max Position in Range", "%", F::DayRange, false, Number, "%MinDR",
            "daily range" },
        { "MinVol", "Min Volatility", "$", F::Volatility, true, Number, "", "move .basics." },
        { "RVKnown", "Only alerts with a relative volume", "", F::RelVol, true, TFilterKind::YesNo,
            "", "data known .volume." },
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
