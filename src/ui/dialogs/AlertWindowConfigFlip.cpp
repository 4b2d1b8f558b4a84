// Flip: the mirror image of a window's settings. Numbers are read and written with "." as the
// decimal separator whatever the process locale (std::from_chars / std::to_chars).

#include "dialogs/AlertWindowConfig.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

namespace kestrova {

namespace {

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

// A 32-bit integer with an optional sign, or nothing.
std::optional<int64_t> ReadInteger(std::string_view text)
{
    text = Trimmed(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<double> ReadNumber(std::string_view text)
{
    text = Trimmed(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()
        || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string Fixed5(double value)
{
    char buffer[400];
    const auto [end, ec]
        = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 5);
    return ec == std::errc() ? std::string(buffer, end) : std::string();
}

// Case-insensitive (ASCII) search of needle in text from pos.
size_t FindNoCase(const std::string &text, std::string_view needle, size_t pos = 0)
{
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    for (size_t i = pos; i + needle.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < needle.size() && lower(text[i + k]) == lower(needle[k]))
            ++k;
        if (k == needle.size())
            return i;
    }
    return std::string::npos;
}

std::string FlipWindowName(std::string name)
{
    constexpr std::string_view marker = "Flipped: ";
    if (FindNoCase(name, marker) == std::string::npos)
        return std::string(marker) + name;
    for (size_t at; (at = FindNoCase(name, marker)) != std::string::npos;)
        name.erase(at, marker.size());
    return name;
}

} // namespace

std::string ApplyFlipRule(
    const std::string &rule, const std::string &ownText, const std::vector<TFilterEntry> &filters)
{
    if (rule.empty())
        return ownText;
    const char op = rule[0];
    const std::string partner = rule.substr(1);
    const auto it = std::find_if(
        filters.begin(), filters.end(), [&](const TFilterEntry &f) { return f.Name == partner; });
    if (it == filters.end() || std::string_view("%+-./").find(op) == std::string_view::npos)
        return ownText;
    const std::string &x = it->Value;
    if (op == '+')
        return x;
    const std::optional<int64_t> integer = ReadInteger(x);
    const std::optional<double> number
        = integer ? std::optional<double>(static_cast<double>(*integer)) : ReadNumber(x);
    if (!number)
        return {};
    switch (op) {
    case '%':
        return integer ? std::to_string(100 - *integer) : Fixed5(100 - *number);
    case '-':
        return integer ? std::to_string(-*integer) : Fixed5(-*number);
    case '.':
        if (*number == 0)
            return "0";
        return *number > 0 && *number < 1 ? Fixed5(1 - *number) : ownText;
    default: // '/'
        return *number > 0.00001 ? Fixed5(1 / *number) : ownText;
    }
}

TAlertConfigRecord FlippedSettings(const TAlertConfigRecord &record)
{
    TAlertConfigRecord flipped = record;

    // Each checked type hands its quality text to its mirror image.
    std::vector<std::pair<std::string, std::string>> mirrors;
    for (const auto &type : record.AlertTypes)
        if (type.Checked)
            mirrors.emplace_back(type.Flip.empty() ? type.Code : type.Flip,
                type.HasQuality() ? type.Quality : std::string());
    for (auto &type : flipped.AlertTypes) {
        const auto it = std::find_if(
            mirrors.begin(), mirrors.end(), [&](const auto &m) { return m.first == type.Code; });
        type.Checked = it != mirrors.end();
        if (type.HasQuality())
            type.Quality = type.Checked ? it->second : std::string();
    }

    // Every rule reads the texts from before the flip.
    for (size_t i = 0; i < record.Filters.size(); ++i)
        if (record.Filters[i].Kind == fkNumber)
            flipped.Filters[i].Value
                = ApplyFlipRule(record.Filters[i].Flip, record.Filters[i].Value, record.Filters);

    flipped.WindowName = FlipWindowName(record.WindowName);
    return flipped;
}

} // namespace kestrova
