#include "DataConfig.h"

#include "AlertCatalogue.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace kestrova::alertd {

TWindowFilter::TWindowFilter()
    : Types(AlertTypes().size(), false)
    , MinQuality(AlertTypes().size(), NoValue)
    , FilterValue(WindowFilters().size(), NoValue)
    , ExchangeOn(Exchanges().size(), false)
{
}

namespace {
bool ParseNumber(const std::string &text, double &value)
{
    const char *begin = text.data();
    const char *end = begin + text.size();
    while (begin < end && *begin == ' ')
        ++begin;
    while (end > begin && end[-1] == ' ')
        --end;
    if (begin == end)
        return false;
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    return ec == std::errc() && ptr == end && std::isfinite(value);
}

bool AllDigits(std::string_view s)
{
    return !s.empty() && s.size() < 10
        && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsOn(const std::string &value)
{
    return value.size() == 2 && (value[0] == 'O' || value[0] == 'o')
        && (value[1] == 'N' || value[1] == 'n');
}

std::string Upper(std::string s)
{
    for (auto &c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

struct TPair
{
    std::string Key, Value;
};

std::vector<TPair> SplitPairs(std::string_view text)
{
    std::vector<TPair> pairs;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t amp = text.find('&', pos);
        if (amp == std::string_view::npos)
            amp = text.size();
        const std::string_view item = text.substr(pos, amp - pos);
        if (!item.empty()) {
            const size_t eq = item.find('=');
            if (eq == std::string_view::npos)
                pairs.push_back({ std::string(item), {} });
            else
                pairs.push_back(
                    { std::string(item.substr(0, eq)), UrlDecode(item.substr(eq + 1), true) });
        }
        pos = amp + 1;
    }
    return pairs;
}

// The compact form: a hexadecimal mask of alert types (bit i of the number = type i), then
// "_"-separated fields the server does not need.
bool ParseCompactMask(const std::string &value, TWindowFilter &filter)
{
    const std::string mask = value.substr(0, value.find('_'));
    if (mask.empty())
        return false;
    const size_t types = filter.Types.size();
    for (size_t i = 0; i < mask.size(); ++i) {
        const int digit = HexDigitValue(mask[mask.size() - 1 - i]);
        if (digit < 0)
            return false;
        for (int b = 0; b < 4; ++b) {
            const size_t type = i * 4 + b;
            if (type < types && (digit >> b & 1))
                filter.Types[type] = true;
        }
    }
    return true;
}
} // namespace

std::string UrlDecode(std::string_view text, bool plusIsSpace)
{
    // Blanks written as "+" first, so that an escaped "%2B" still decodes to "+".
    std::string form(text);
    if (plusIsSpace)
        std::replace(form.begin(), form.end(), '+', ' ');
    return kestrova::UrlDecode(form);
}

std::string FormatValue(double value)
{
    char buffer[64];
    const auto [end, ec]
        = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 10);
    return ec == std::errc() ? std::string(buffer, end) : std::string();
}

TParsedConfig ParseDataConfig(std::string_view text)
{
    TParsedConfig result;
    const std::vector<TPair> pairs = SplitPairs(text);
    if (pairs.empty()) {
        result.Error = "Empty alert configuration.";
        return result;
    }
    TWindowFilter &filter = result.Filter;
    const bool longForm = pairs.front().Key == "form" && pairs.front().Value == "1";
    const bool compact = pairs.front().Key == "O";
    if (!longForm && !compact) {
        result.Error = "Unrecognized alert configuration.";
        return result;
    }
    if (compact && !ParseCompactMask(pairs.front().Value, filter)) {
        result.Error = "Invalid alert type mask in the configuration.";
        return result;
    }
    for (size_t i = 1; i < pairs.size(); ++i) {
        const std::string &key = pairs[i].Key;
        const std::string &value = pairs[i].Value;
        int index;
        double number;
        if (key == "WN") {
            filter.WindowName = value;
        } else if (key.rfind("Sh_", 0) == 0 && (index = FindAlertType(key.substr(3))) >= 0) {
            filter.Types[index] = IsOn(value);
        } else if (key.size() > 1 && key[0] == 'Q' && (index = FindAlertType(key.substr(1))) >= 0) {
            if (value.empty())
                continue;
            if (!ParseNumber(value, number)) {
                result.Error = "Invalid minimum for " + AlertTypes()[index].Description + ": \""
                    + value + "\".";
                return result;
            }
            filter.MinQuality[index] = number;
        } else if ((index = FindWindowFilter(key)) >= 0
            && WindowFilters()[index].Kind == TFilterKind::YesNo) {
            filter.FilterValue[index] = IsOn(value) ? 1 : NoValue;
        } else if ((index = FindWindowFilter(key)) >= 0) {
            if (value.empty())
                continue;
            if (!ParseNumber(value, number)) {
                result.Error = "Invalid value for " + WindowFilters()[index].Description + ": \""
                    + value + "\".";
                return result;
            }
            filter.FilterValue[index] = number;
        } else if ((index = FindExchange(key)) >= 0) {
            filter.ExchangeOn[index] = IsOn(value);
        } else if (key == "EntireUniverse") {
            if (value.empty())
                filter.Mode = TSymbolMode::OnlyLists;
            else if (value == "1")
                filter.Mode = TSymbolMode::All;
            else if (value == "2")
                filter.Mode = TSymbolMode::ExcludeLists;
            else if (value == "3")
                filter.Mode = TSymbolMode::Single;
            else {
                result.Error = "Invalid symbol selection \"" + value + "\".";
                return result;
            }
        } else if (key == "SingleSymbol") {
            filter.SingleSymbol = Upper(value);
        } else if (AllDigits(key) && IsOn(value)) {
            const int id = std::stoi(key);
            if (id > 0
                && std::find(filter.ListIds.begin(), filter.ListIds.end(), id)
                    == filter.ListIds.end())
                filter.ListIds.push_back(id);
        }
        // Anything else (settings of other clients, unknown filters) is ignored.
    }
    std::sort(filter.ListIds.begin(), filter.ListIds.end());
    result.Ok = true;
    return result;
}

std::string ShortForm(const TWindowFilter &filter)
{
    std::string out = "form=1";
    const auto &types = AlertTypes();
    for (size_t i = 0; i < types.size(); ++i) {
        if (!filter.Types[i])
            continue;
        out += "&Sh_" + types[i].Code + "=ON";
        if (!std::isnan(filter.MinQuality[i]))
            out += "&Q" + types[i].Code + "=" + UrlEncode(FormatValue(filter.MinQuality[i]));
    }
    const auto &filters = WindowFilters();
    for (size_t i = 0; i < filters.size(); ++i)
        if (!std::isnan(filter.FilterValue[i]))
            out += "&" + filters[i].Name + "="
                + (filters[i].Kind == TFilterKind::YesNo
                        ? std::string("ON")
                        : UrlEncode(FormatValue(filter.FilterValue[i])));
    const auto &exchanges = Exchanges();
    for (size_t i = 0; i < exchanges.size(); ++i)
        if (filter.ExchangeOn[i])
            out += "&" + exchanges[i].Code + "=ON";
    switch (filter.Mode) {
    case TSymbolMode::All:
        out += "&EntireUniverse=1";
        break;
    case TSymbolMode::OnlyLists:
        out += "&EntireUniverse=";
        break;
    case TSymbolMode::ExcludeLists:
        out += "&EntireUniverse=2";
        break;
    case TSymbolMode::Single:
        out += "&EntireUniverse=3";
        break;
    }
    if (filter.Mode == TSymbolMode::OnlyLists || filter.Mode == TSymbolMode::ExcludeLists)
        for (int id : filter.ListIds)
            out += "&" + std::to_string(id) + "=ON";
    if (filter.Mode == TSymbolMode::Single)
        out += "&SingleSymbol=" + UrlEncode(filter.SingleSymbol);
    if (!filter.WindowName.empty())
        out += "&WN=" + UrlEncode(filter.WindowName);
    return out;
}

namespace {
double FieldValue(const TAlert &alert, TFilterField field)
{
    switch (field) {
    case TFilterField::Price:
        return alert.Price;
    case TFilterField::RelVol:
        return alert.RelVol;
    case TFilterField::DayRange: // the filters are in percent
        return alert.DayRange * 100;
    case TFilterField::Volatility:
        return alert.Volatility;
    }
    return NoValue;
}
} // namespace

bool Matches(const TWindowFilter &filter, const TAlert &alert, const TMarket &market)
{
    if (!filter.Types[alert.Type])
        return false;
    const double minQuality = filter.MinQuality[alert.Type];
    if (!std::isnan(minQuality) && !(alert.Quality >= minQuality))
        return false;
    const auto &filters = WindowFilters();
    for (size_t i = 0; i < filters.size(); ++i) {
        const double limit = filter.FilterValue[i];
        if (std::isnan(limit))
            continue;
        // A missing value never passes a filter that asks for it.
        const double value = FieldValue(alert, filters[i].Field);
        if (filters[i].Kind == TFilterKind::YesNo) {
            if (std::isnan(value))
                return false;
        } else if (filters[i].IsMinimum ? !(value >= limit) : !(value <= limit))
            return false;
    }
    const TSymbolInfo &symbol = market.Symbols()[alert.Symbol];
    if (std::find(filter.ExchangeOn.begin(), filter.ExchangeOn.end(), true)
            != filter.ExchangeOn.end()
        && !filter.ExchangeOn[symbol.Exchange])
        return false;
    switch (filter.Mode) {
    case TSymbolMode::All:
        return true;
    case TSymbolMode::OnlyLists:
        return filter.ListSymbols.count(symbol.Name) > 0;
    case TSymbolMode::ExcludeLists:
        return filter.ListSymbols.count(symbol.Name) == 0;
    case TSymbolMode::Single:
        return symbol.Name == filter.SingleSymbol;
    }
    return false;
}

} // namespace kestrova::alertd
