// The quality column's number formats.

#include "grid/AlertGridsQuality.h"

#include "support/Exceptions.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace kestrova {

namespace {

[[noreturn]] void Refuse(std::string_view pattern, const char *why)
{
    throw EConvertError("Quality format \"" + std::string(pattern) + "\" refused: " + why);
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Reads decimal digits at pos (none gives 0); above limit the pattern is refused.
int ReadNumber(std::string_view pattern, size_t &pos, int limit, const char *what)
{
    int value = 0;
    while (pos < pattern.size() && IsDigit(pattern[pos])) {
        value = value * 10 + (pattern[pos++] - '0');
        if (value > limit)
            Refuse(pattern, what);
    }
    return value;
}

// Puts "," between groups of three digits of the integer part.
std::string GroupThousands(const std::string &number)
{
    const size_t start = !number.empty() && number[0] == '-' ? 1 : 0;
    const size_t point = std::min(number.find('.'), number.size());
    std::string out = number.substr(0, start);
    for (size_t i = start; i < point; ++i) {
        if (i > start && (point - i) % 3 == 0)
            out += ',';
        out += number[i];
    }
    out.append(number, point);
    return out;
}

} // namespace

TQualityFormat ParseQualityFormat(std::string_view pattern)
{
    TQualityFormat format;
    bool converted = false;
    std::string *literal = &format.Prefix;
    for (size_t pos = 0; pos < pattern.size();) {
        const char c = pattern[pos++];
        if (c != '%') {
            *literal += c;
            continue;
        }
        if (pos < pattern.size() && pattern[pos] == '%') {
            *literal += '%';
            ++pos;
            continue;
        }
        if (converted)
            Refuse(pattern, "more than one conversion");
        if (pos < pattern.size() && pattern[pos] == '-') {
            format.LeftAlign = true;
            ++pos;
        }
        format.Width = ReadNumber(pattern, pos, TQualityFormat::MaxWidth, "width too large");
        if (pos < pattern.size() && pattern[pos] == '.') {
            ++pos;
            format.Precision
                = ReadNumber(pattern, pos, TQualityFormat::MaxPrecision, "precision too large");
        }
        if (pos >= pattern.size())
            Refuse(pattern, "unfinished conversion");
        const char conversion = static_cast<char>(pattern[pos++] | 0x20); // either case
        if (conversion != 'f' && conversion != 'e' && conversion != 'g' && conversion != 'n')
            Refuse(pattern, "only f, e, g and n convert a number");
        format.Conversion = conversion;
        converted = true;
        literal = &format.Suffix;
    }
    if (!converted)
        Refuse(pattern, "no conversion");
    return format;
}

std::string TQualityFormat::Format(double value) const
{
    // The widest result: 309 integer digits, a point, MaxPrecision decimals and a sign, or a
    // mantissa with its exponent.
    char buffer[400];
    std::to_chars_result result {};
    switch (Conversion) {
    case 'e':
        result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific,
            Precision < 0 ? 6 : Precision);
        break;
    case 'g':
        result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general,
            std::max(1, Precision < 0 ? 6 : Precision));
        break;
    default: // f, n
        result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed,
            Precision < 0 ? 2 : Precision);
        break;
    }
    std::string number
        = result.ec == std::errc() ? std::string(buffer, result.ptr) : std::string("0");
    if (Conversion == 'e' || Conversion == 'g')
        std::replace(number.begin(), number.end(), 'e', 'E');
    if (Conversion == 'n' && std::isfinite(value))
        number = GroupThousands(number);
    if (static_cast<int>(number.size()) < Width) {
        const std::string pad(static_cast<size_t>(Width) - number.size(), ' ');
        number = LeftAlign ? number + pad : pad + number;
    }
    return Prefix + number + Suffix;
}

std::string FormatQuality(std::string_view pattern, double value)
{
    return ParseQualityFormat(pattern).Format(value);
}

} // namespace kestrova
