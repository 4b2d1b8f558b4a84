#pragma once
// How kvtail prints alerts: aligned text columns, CSV, or one JSON object per line.

#include "session/AlertRecord.h"

#include <string>

namespace kvtail {

enum class TFormat { Text, Csv, Json };

// The header line of the format (empty for JSON); windowColumn: text output names the window.
std::string FormatHeader(TFormat format, bool windowColumn = false);
// One alert as one line (without the line feed). window: the window's label (text output shows
// it only when not empty); unixTime: the alert's Unix time (kestrova::AlertUnixTime).
std::string FormatAlert(
    TFormat format, const std::string &window, const kestrova::TAlertRecord &a, int64_t unixTime);

std::string JsonEscape(const std::string &text);
std::string CsvField(const std::string &text);

} // namespace kvtail
