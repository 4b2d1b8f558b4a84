#pragma once
// The history range dialog's choices and what they mean: the validation verdict shown as the
// OK button's hint, and the range handed to the window connection. Free of Qt. Date-times are
// TDateTime values (days since 1899-12-30, fraction = time of day) as the dialog shows them;
// the results subtract the display offset, so they are on the server's clock.

#include "support/Clock.h"

#include <string>
#include <utility>
#include <vector>

namespace kestrova {

// Validation messages.
inline const std::string InvalidDaysAgoText = "Invalid number of days ago.";
inline const std::string StartNotAfterEndText = "Start time must be more recent than end time.";

struct THistoryRangeChoice
{
    // Newest end: "Now", or the chosen date plus time.
    bool StartNow = true;
    TDateTime StartDate = 0; // whole days
    TDateTime StartTime = 0; // fraction of a day
    // Oldest end: the morning EndDaysIndex days ago, or the chosen date plus time.
    bool EndDays = true;
    int EndDaysIndex = 0; // -1: no item selected
    TDateTime EndDate = 0;
    TDateTime EndTime = 0;
};

// The items of the days list; the index of an item is its number of days.
const std::vector<std::string> &HistoryEndDaysItems();

// "" when the range can be asked for, else the reason OK is disabled. Works on the displayed
// values; now is the local clock.
std::string ValidateHistoryRange(const THistoryRangeChoice &choice, TDateTime now);

// 0 for "Now" (up to the present); else the chosen start minus offsetDays.
TDateTime HistoryRangeStartTime(const THistoryRangeChoice &choice, double offsetDays);
// Midnight of today minus the chosen days, or the chosen end; minus offsetDays.
TDateTime HistoryRangeEndTime(const THistoryRangeChoice &choice, TDateTime now, double offsetDays);

// The dates the pickers accept: from today - 49 days to tomorrow.
std::pair<TDateTime, TDateTime> HistoryDateLimits(TDateTime now);

} // namespace kestrova
