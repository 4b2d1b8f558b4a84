#include "dialogs/SelectHistoryRangeModel.h"

#include <cmath>

namespace kestrova {

namespace {
constexpr double HalfSecond = 0.5 / 86400.0;

TDateTime Today(TDateTime now)
{
    return std::floor(now);
}
} // namespace

const std::vector<std::string> &HistoryEndDaysItems()
{
    static const std::vector<std::string> items = [] {
        std::vector<std::string> list
            = { "This morning (0 days ago)", "Yesterday morning (1 day ago)" };
        for (int days = 2; days <= 14; ++days)
            list.push_back(std::to_string(days) + " days ago");
        return list;
    }();
    return items;
}

std::string ValidateHistoryRange(const THistoryRangeChoice &choice, TDateTime now)
{
    const TDateTime start = choice.StartNow ? now : choice.StartDate + choice.StartTime;
    TDateTime end = choice.EndDate + choice.EndTime;
    if (choice.EndDays) {
        if (choice.EndDaysIndex < 0 || choice.EndDaysIndex > 99)
            return InvalidDaysAgoText;
        end = Today(now) - choice.EndDaysIndex;
    }
    return start > end + HalfSecond ? std::string() : StartNotAfterEndText;
}

TDateTime HistoryRangeStartTime(const THistoryRangeChoice &choice, double offsetDays)
{
    return choice.StartNow ? 0 : choice.StartDate + choice.StartTime - offsetDays;
}

TDateTime HistoryRangeEndTime(const THistoryRangeChoice &choice, TDateTime now, double offsetDays)
{
    const TDateTime end
        = choice.EndDays ? Today(now) - choice.EndDaysIndex : choice.EndDate + choice.EndTime;
    return end - offsetDays;
}

std::pair<TDateTime, TDateTime> HistoryDateLimits(TDateTime now)
{
    return { Today(now) - 49, Today(now) + 1 };
}

} // namespace kestrova
