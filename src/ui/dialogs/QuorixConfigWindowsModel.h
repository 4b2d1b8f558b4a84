#pragma once
// The backtest configuration as the configuration window's controls hold it (edits are free
// text), the settings string it is stored as, and the quorix_new_request it turns into. Free of
// Qt, so tests drive it without a window. Numbers are written and read with "." as the decimal
// point whatever the process locale, so a string reads back the same everywhere.

#include "link/Messages.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

enum TPriceMoveDirection { pmUp = 0, pmDown = 1 };
enum TMoveType { mtDollars = 0, mtPercent = 1 };
// -1 in either field: no button of the group is selected.
enum TExitConditionType {
    ecNone = 0,
    ecPercentTrailing = 1,
    ecBarsTrailing = 2,
    ecAnotherAlert = 3
};
enum TExitTimeType { etMinutesAfter = 0, etBeforeClose = 1, etAtOpen = 2, etAtClose = 3 };

// The controls' state. The defaults are those of an empty settings string.
struct TQuorixSettings
{
    int PriceMoveDirection = pmUp;
    int MoveType = mtDollars;
    std::string DollarsValue = "0.01";
    std::string PercentsValue = "0.1";
    bool UseProfitTarget = false;
    std::string ProfitTarget = "1";
    bool UseStopLoss = false;
    std::string StopLoss = "1";
    bool UseStopLossWiggle = false;
    int ExitConditionType = ecNone;
    std::string ExitConditionPercent = "0.5";
    std::string ExitConditionBars = "0.5";
    // The alert setup ("form=1...") of the "Another alert" exit; that button is enabled only
    // while it is not empty.
    std::string ExitAlertConfig;
    std::string EntryHoursStart = "0";
    std::string EntryMinutesStart = "30";
    std::string EntryHoursEnd = "0";
    std::string EntryMinutesEnd = "0";
    int ExitTimeType = etMinutesAfter;
    std::string ExitTimeMinutesAfter = "30";
    std::string ExitTimeMinutesBefore = "0";
    std::string ExitTimeOpenDays = "1";
    std::string ExitTimeCloseDays = "1";
    std::string Location = "US";
    std::string DaysToSkip = "0";
    std::string DaysOfTest = "15";

    bool operator==(const TQuorixSettings &) const = default;
};

// The items of the location pick list; the first is the default.
const std::vector<std::string> &QuorixLocations();

// The settings string: URL-encoded key=value pairs joined by "&". Reals are written with at
// most 6 significant digits, an edit that does not convert as its default; empty values and
// clear flags are left out.
std::string GetQuorixSettings(const TQuorixSettings &settings);
// Reads a settings string; missing or unreadable values take their defaults, reals are shown
// with up to 15 significant digits. An empty string gives every default.
TQuorixSettings ParseQuorixSettings(const std::string &text);
// What OK leaves in the controls: every edit shows the number it stands for.
inline TQuorixSettings NormaliseQuorixSettings(const TQuorixSettings &settings)
{
    return ParseQuorixSettings(GetQuorixSettings(settings));
}

// The quorix_new_request message: entryCondition is the alert window's data configuration,
// windowId its window id; showDebug asks the server for debug messages.
TMessageToServer BuildQuorixRequest(const TQuorixSettings &settings,
    const std::string &entryCondition, const std::string &windowId, bool showDebug);

// Captions of the profit-target and stop-loss boxes for a direction.
std::string ProfitTargetCaption(int direction);
std::string StopLossCaption(int direction);

// Number conversions of the edits: blanks around the text are allowed; a real accepts "." or,
// when the text has no ".", a single "," as its decimal point. False when the text does not
// convert (also for a real that is not finite and an integer outside 32 bits).
bool TryReadReal(std::string_view text, double &value);
bool TryReadInteger(std::string_view text, int32_t &value);
// Shortest general form with at most `digits` significant digits, "." as the decimal point.
std::string FormatReal(double value, int digits);

} // namespace kestrova
