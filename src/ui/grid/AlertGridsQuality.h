#pragma once
// The quality column's number formats. The server gives one pattern per alert type; a pattern
// is data, never a printf format: it is parsed here into literal text around exactly one number
// conversion and formatted without the C library's format machinery. No Qt.

#include <string>
#include <string_view>

namespace kestrova {

// One parsed pattern: Prefix, the number, Suffix.
//
// Accepted: literal text, "%%" for a percent sign, and exactly one conversion
// "%[-][width][.precision]c" where c is
//   f  fixed point, precision = decimals (2 when absent);
//   n  as f, with "," between groups of three digits;
//   e  scientific, precision = decimals of the mantissa (6 when absent), "E" before the exponent;
//   g  the shorter of fixed and scientific, precision = significant digits (6 when absent).
// width pads with spaces to at least that many characters, on the left ("-": on the right).
// The decimal separator is always ".".
struct TQualityFormat
{
    static constexpr int MaxWidth = 64;
    static constexpr int MaxPrecision = 20;

    std::string Prefix, Suffix;
    char Conversion = 'f';
    bool LeftAlign = false;
    int Width = 0;
    int Precision = -1; // -1: the conversion's default

    std::string Format(double value) const;
};

// Parses a pattern. Anything else than the above (another conversion, a second one, none, a
// lone "%", a width above MaxWidth or a precision above MaxPrecision) raises EConvertError
// naming the pattern.
TQualityFormat ParseQualityFormat(std::string_view pattern);

// Parses and formats in one step (raises as ParseQualityFormat does).
std::string FormatQuality(std::string_view pattern, double value);

} // namespace kestrova
