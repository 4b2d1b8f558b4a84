#pragma once
// Data configurations: what one alert window wants. Parses the long "form=1" form (URL-encoded
// values) and the compact initial "O=<hex mask>_..." form, writes the canonical short form, and
// decides whether an alert belongs to the window.

#include "Market.h"
#include "support/UrlEncoding.h"

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova::alertd {

enum class TSymbolMode { All, OnlyLists, ExcludeLists, Single };

struct TWindowFilter
{
    std::vector<bool> Types; // per alert type: shown
    std::vector<double> MinQuality; // per alert type: NaN = no minimum
    std::vector<double> FilterValue; // per window filter: NaN = not set (yes/no: 1 = on)
    std::vector<bool> ExchangeOn; // all false = every exchange
    TSymbolMode Mode = TSymbolMode::All;
    std::vector<int> ListIds;
    std::string SingleSymbol;
    std::string WindowName;

    // Symbols of ListIds, filled by the caller from the account's lists (upper case).
    std::set<std::string> ListSymbols;

    TWindowFilter();
    bool operator==(const TWindowFilter &) const = default;
};

struct TParsedConfig
{
    bool Ok = false;
    std::string Error; // the text shown to the user when !Ok
    TWindowFilter Filter;
};

TParsedConfig ParseDataConfig(std::string_view text);

// A limit or quality as configuration strings carry it ("." whatever the locale).
std::string FormatValue(double value);

// The canonical "form=1" text of a filter.
std::string ShortForm(const TWindowFilter &filter);

bool Matches(const TWindowFilter &filter, const TAlert &alert, const TMarket &market);

// "%XX" and (when plusIsSpace) "+" decoding; malformed escapes stay as they are.
std::string UrlDecode(std::string_view text, bool plusIsSpace);
// Letters, digits, "-", "." and "_" stay; every other byte becomes "%XX".
using kestrova::UrlEncode;

} // namespace kestrova::alertd
