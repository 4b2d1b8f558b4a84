#pragma once
// How kvtail prints alerts: aligned text columns, CSV, or one JSON object per line.

#include "session/AlertRecord.h"

#include <string>

namespace kvtail {

enum class TFormat { Text, Csv, Json };

// The header line of the format (empty for JSON).
std::string FormatHeader(TFormat format);
// One alert as one line (without the line feed).
std::string FormatAlert(TFormat format, const std::string &window, const kestrova::TAlertRecord &a);

std::string JsonEscape(const std::string &text);
std::string CsvField(const std::string &text);

} // namespace kvtail
