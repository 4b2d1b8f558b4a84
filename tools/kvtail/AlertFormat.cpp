#include "kvtail/AlertFormat.h"

#include "support/DateTime.h"

#include <cmath>
#include <cstdio>

namespace kvtail {

using kestrova::TAlertRecord;

namespace {
std::string Time(const TAlertRecord &a)
{
    return a.Time == 0 ? std::string() : kestrova::FormatDateTime("yyyy-MM-dd hh:nn:ss", a.Time);
}

// A fraction with up to four decimals and no trailing zeros; empty when absent.
std::string Number(double value)
{
    if (std::isnan(value))
        return {};
    char text[64];
    std::snprintf(text, sizeof text, "%.4f", value);
    std::string s = text;
    while (!s.empty() && s.back() == '0')
        s.pop_back();
    if (!s.empty() && s.back() == '.')
        s.pop_back();
    return s;
}

std::string JsonNumber(double value)
{
    const std::string s = Number(value);
    return s.empty() ? "null" : s;
}
} // namespace

std::string JsonEscape(const std::string &text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char esc[8];
                std::snprintf(esc, sizeof esc, "\\u%04x", c);
                out += esc;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string CsvField(const std::string &text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (char c : text)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

namespace {
// The text format's window column: the label cut or padded to a fixed width.
std::string WindowColumn(const std::string &window)
{
    char column[32];
    std::snprintf(column, sizeof column, "%-16.16s  ", window.c_str());
    return column;
}
} // namespace

std::string FormatHeader(TFormat format, bool windowColumn)
{
    switch (format) {
    case TFormat::Text: {
        char line[160];
        std::snprintf(line, sizeof line, "%-19s  %-8s  %-8s %8s %8s  %s", "TIME", "SYMBOL", "TYPE",
            "QUALITY", "RELVOL", "DESCRIPTION");
        return windowColumn ? WindowColumn("WINDOW") + line : std::string(line);
    }
    case TFormat::Csv:
        return "window,time,unix_time,symbol,type,description,quality,relvol,num,day_range,"
               "stddev,volatility";
    case TFormat::Json:
        return {};
    }
    return {};
}

std::string FormatAlert(
    TFormat format, const std::string &window, const TAlertRecord &a, int64_t unixTime)
{
    switch (format) {
    case TFormat::Text: {
        char line[256];
        std::snprintf(line, sizeof line, "%-19s  %-8s  %-8s %8s %8s  ", Time(a).c_str(),
            a.Symbol.c_str(), a.AlertType.c_str(), Number(a.Quality).c_str(),
            Number(a.RelVol).c_str());
        return (window.empty() ? std::string() : WindowColumn(window)) + line + a.Description;
    }
    case TFormat::Csv:
        return CsvField(window) + "," + Time(a) + "," + std::to_string(unixTime) + ","
            + CsvField(a.Symbol) + "," + CsvField(a.AlertType) + "," + CsvField(a.Description) + ","
            + Number(a.Quality) + "," + Number(a.RelVol) + "," + std::to_string(a.Num) + ","
            + Number(a.DayRange) + "," + Number(a.StdDev) + "," + Number(a.Volatility);
    case TFormat::Json:
        return "{\"window\":" + JsonEscape(window) + ",\"time\":" + JsonEscape(Time(a))
            + ",\"unix_time\":" + std::to_string(unixTime) + ",\"symbol\":" + JsonEscape(a.Symbol)
            + ",\"type\":" + JsonEscape(a.AlertType) + ",\"description\":"
            + JsonEscape(a.Description) + ",\"quality\":" + JsonNumber(a.Quality)
            + ",\"relvol\":" + JsonNumber(a.RelVol) + ",\"num\":" + std::to_string(a.Num)
            + ",\"day_range\":" + JsonNumber(a.DayRange) + ",\"stddev\":" + JsonNumber(a.StdDev)
            + ",\"volatility\":" + JsonNumber(a.Volatility) + "}";
    }
    return {};
}

} // namespace kvtail
