#pragma once
// A window's contents as CSV, free of widgets: the columns follow the grid's data types in
// display order, then the types it does not show; one line per alert, lines ending in CR LF.

#include "session/AlertRecord.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kestrova {

// How dates and times are written (the display pattern language of FormatDateTime).
struct TCsvTimeForms
{
    std::string Date = "M/d/yyyy";
    std::string Time = "h:nn:ss";
    // How far the server's clock zone is ahead of this machine's (Unix times of server-time
    // alerts; see AlertUnixTime).
    double ServerZoneDays = 0;
};

// The data types in column order: each type of displayTypes once, at its first position, then
// the remaining types 0..14 in ascending order (15 entries; types outside 0..14 are skipped).
std::vector<int> CsvTypeOrder(const std::vector<uint8_t> &displayTypes);

// The header fields of the types in order: Icon gives "Alert Type", Time gives "Time", "Date"
// and "C / Unix Time", the text types their names; Blank, Age and the charts give none.
std::vector<std::string> CsvHeaderFields(const std::vector<int> &order);

// One alert's fields in the same columns. Numbers use "." whatever the process locale; a NaN
// value gives an empty field.
std::vector<std::string> CsvAlertFields(
    const std::vector<int> &order, const TAlertRecord &alert, const TCsvTimeForms &forms);

// The whole file: the header line and one line per alert, in the order given.
std::string ContentsCsv(const std::vector<uint8_t> &displayTypes,
    const std::vector<TAlertRecord> &alerts, const TCsvTimeForms &forms);

} // namespace kestrova
