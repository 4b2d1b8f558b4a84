// The CSV form of a window's contents.

#include "grid/AlertGridsContents.h"

#include "alerts/DataTypes.h"
#include "grid/AlertGridsTypes.h"
#include "support/CommaText.h"
#include "support/DateTime.h"

#include <array>
#include <charconv>
#include <cmath>

namespace kestrova {

namespace {

std::string Number(double value, std::chars_format format, int precision)
{
    if (std::isnan(value))
        return {};
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format, precision);
    return std::string(buffer, result.ptr);
}

std::string Fixed(double value, int decimals)
{
    return Number(value, std::chars_format::fixed, decimals);
}

// The general form with up to 15 significant digits, no trailing zeros ("0.5", "12", "1e+20").
std::string General(double value)
{
    return Number(value, std::chars_format::general, 15);
}

std::string DateTimeText(const std::string &pattern, TDateTime value)
{
    try {
        return FormatDateTime(pattern, value);
    } catch (const EConvertError &) {
        return {}; // a time no calendar holds
    }
}

} // namespace

std::vector<int> CsvTypeOrder(const std::vector<uint8_t> &displayTypes)
{
    std::vector<int> order;
    std::array<bool, DataTypeCount> taken {};
    const auto take = [&](int type) {
        if (type >= 0 && type < DataTypeCount && !taken[static_cast<size_t>(type)]) {
            taken[static_cast<size_t>(type)] = true;
            order.push_back(type);
        }
    };
    for (uint8_t type : displayTypes)
        take(type);
    for (int type = 0; type < DataTypeCount; ++type)
        take(type);
    return order;
}

std::vector<std::string> CsvHeaderFields(const std::vector<int> &order)
{
    std::vector<std::string> fields;
    for (int type : order) {
        switch (type) {
        case cdIcon:
            fields.emplace_back("Alert Type");
            break;
        case cdTime:
            fields.insert(fields.end(), { "Time", "Date", "C / Unix Time" });
            break;
        case cdSymbol:
        case cdDescription:
        case cdQuality:
        case cdRelVol:
        case cdNum:
        case cdDailyRange:
        case cdVolatility:
        case cdStandardDeviation:
            fields.emplace_back(DataTypeInfo(type).Name);
            break;
        default:
            break;
        }
    }
    return fields;
}

std::vector<std::string> CsvAlertFields(
    const std::vector<int> &order, const TAlertRecord &alert, const TCsvTimeForms &forms)
{
    std::vector<std::string> fields;
    for (int type : order) {
        switch (type) {
        case cdIcon:
            fields.push_back(alert.AlertType);
            break;
        case cdTime:
            fields.push_back(DateTimeText(forms.Time, alert.Time));
            fields.push_back(DateTimeText(forms.Date, alert.Time));
            fields.push_back(std::to_string(AlertUnixTime(alert, forms.ServerZoneDays)));
            break;
        case cdSymbol:
            fields.push_back(alert.Symbol);
            break;
        case cdDescription:
            fields.push_back(alert.Description);
            break;
        case cdQuality:
            fields.push_back(General(alert.Quality));
            break;
        case cdRelVol:
            fields.push_back(Fixed(alert.RelVol, 4));
            break;
        case cdNum:
            fields.push_back(std::to_string(alert.Num));
            break;
        case cdDailyRange: {
            const std::string range = Fixed(alert.DayRange * 100, 2);
            fields.push_back(range.empty() ? range : range + "%");
            break;
        }
        case cdVolatility:
            fields.push_back(Fixed(alert.Volatility, 4));
            break;
        case cdStandardDeviation:
            fields.push_back(Fixed(alert.StdDev, 4));
            break;
        default:
            break;
        }
    }
    return fields;
}

std::string ContentsCsv(const std::vector<uint8_t> &displayTypes,
    const std::vector<TAlertRecord> &alerts, const TCsvTimeForms &forms)
{
    const std::vector<int> order = CsvTypeOrder(displayTypes);
    std::string csv = JoinCommaText(CsvHeaderFields(order)) + "\r\n";
    for (const TAlertRecord &alert : alerts)
        csv += JoinCommaText(CsvAlertFields(order, alert, forms)) + "\r\n";
    return csv;
}

} // namespace kestrova
