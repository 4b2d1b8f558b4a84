// Shared time defaults: offset and server-time mode, the format list, and its listeners.

#include "session/TimeDefaults.h"

#include "support/DebugLog.h"
#include "support/FakeClock.h"

#include <clocale>
#include <functional>
#include <gtest/gtest.h>

using namespace kestrova;

namespace {

class TimeDefaults : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetTimeDefaults();
        DebugLog::Clear();
    }
    void TearDown() override { ResetTimeDefaults(); }
    kvtest::FakeClock Clock { 46000.5 };
};

// Counts its notifications and runs an optional action inside them.
class TListener : public IDefaultsListener
{
public:
    explicit TListener(std::vector<std::string> *log = nullptr, std::string name = "")
        : Log(log)
        , Name(std::move(name))
    {
    }
    void DefaultsChanged() override
    {
        ++Calls;
        if (Log)
            Log->push_back(Name);
        if (Action)
            Action();
    }
    int Calls = 0;
    std::function<void()> Action;
    std::vector<std::string> *Log;
    std::string Name;
};

TEST_F(TimeDefaults, OffsetInMinutesAndServerTimeMode)
{
    EXPECT_FALSE(ServerTimeMode());
    SetTimeOffset(ServerTimeOffsetMinutes);
    EXPECT_TRUE(ServerTimeMode());
    EXPECT_EQ(GetTimeOffsetMinutes(), 999999);
    EXPECT_EQ(GetTimeOffsetDays(), 0.0);
    SetTimeOffset(60);
    EXPECT_FALSE(ServerTimeMode());
    EXPECT_DOUBLE_EQ(GetTimeOffsetDays(), 1.0 / 24);
    SetTimeOffset(-90);
    EXPECT_DOUBLE_EQ(GetTimeOffsetDays(), -90.0 / 1440);
    SetTimeOffset(999998);
    EXPECT_FALSE(ServerTimeMode());
    EXPECT_DOUBLE_EQ(GetTimeOffsetDays(), 999998.0 / 1440);
}

TEST_F(TimeDefaults, FormatsAreStoredInReverseWithEmptyPiecesKept)
{
    SetTimeFormats("hh:nn:ss M/d/yyyy|hh:nn:ss");
    EXPECT_EQ(GetTimeFormats(), (TPossibleTimeFormats { "hh:nn:ss", "hh:nn:ss M/d/yyyy" }));
    EXPECT_EQ(GetTimeFormatsText(), "hh:nn:ss M/d/yyyy|hh:nn:ss");
    SetTimeFormats("yyyy|M/d|ss");
    EXPECT_EQ(GetTimeFormats(), (TPossibleTimeFormats { "ss", "M/d", "yyyy" }));
    SetTimeFormats("hh:nn|");
    EXPECT_EQ(GetTimeFormats(), (TPossibleTimeFormats { "", "hh:nn" }));
    SetTimeFormats("|");
    EXPECT_EQ(GetTimeFormats(), (TPossibleTimeFormats { "", "" }));
}

TEST_F(TimeDefaults, AnyRejectedFormatReplacesTheWholeList)
{
    SetTimeFormats("hh:nn:ss|hh:nn am/pm|\"ok\"");
    EXPECT_EQ(GetTimeFormats(), TPossibleTimeFormats { "\"Invalid time format!\"" });
    EXPECT_EQ(GetTimeFormatsText(), "hh:nn:ss|hh:nn am/pm|\"ok\"");
    SetTimeFormats("\"unterminated");
    EXPECT_EQ(GetTimeFormats(), TPossibleTimeFormats { InvalidTimeFormatEntry });
}

TEST_F(TimeDefaults, EmptyTextSelectsTheLocaleDefaults)
{
    // The tests run in the C library's plain locale, which has no short formats of its own.
    ASSERT_EQ(LocaleShortDateTimePatterns(),
        std::make_pair(std::string("M/d/yyyy"), std::string("h:nn:ss")));
    const TPossibleTimeFormats atLoad = GetTimeFormats();
    EXPECT_EQ(atLoad,
        (TPossibleTimeFormats { "h:nn:ss", "h:nn:ss M/d", "h:nn:ss M/d/yy", "h:nn:ss M/d/yyyy" }));
    SetTimeFormats("x|y");
    SetTimeFormats("");
    EXPECT_EQ(GetTimeFormats(), atLoad);
    EXPECT_EQ(GetTimeFormatsText(), "");
}

TEST(TimeDefaultsLocale, GradedListsForMonthFirstAndDayFirstDates)
{
    EXPECT_EQ(DefaultTimeFormats("d/M/yyyy", "hh:nn"),
        (TPossibleTimeFormats {
            "hh:nn", "hh:nn d", "hh:nn d/M", "hh:nn d/M/yy", "hh:nn d/M/yyyy" }));
    EXPECT_EQ(DefaultTimeFormats("dd.MM.yyyy", "hh:nn:ss"),
        (TPossibleTimeFormats { "hh:nn:ss", "hh:nn:ss dd.MM.yyyy" }));
}

TEST(TimeDefaultsLocale, MapsCLibraryPatternsIntoThePatternLanguage)
{
    std::string p;
    const std::pair<const char *, const char *> mapped[] = { { "%d.%m.%Y", "dd.MM.yyyy" },
        { "%-m/%-d/%y", "M/d/yy" }, { "%T", "hh:nn:ss" }, { "%H h %M", "hh \"h\" nn" },
        { "%Y\xE5\xB9\xB4%m\xE6\x9C\x88%d",
            "yyyy\xE5\xB9\xB4MM\xE6\x9C\x88"
            "dd" },
        { "%Ey-%Om-%e", "yy-MM-d" } };
    for (const auto &[format, pattern] : mapped) {
        ASSERT_TRUE(StrftimeToPattern(format, p)) << format;
        EXPECT_EQ(p, pattern);
    }
    // A 12-hour clock, names, quotes or a dangling '%' cannot be expressed.
    p = "unchanged";
    for (const char *f : { "%I:%M:%S %p", "%r", "%a %d", "%b", "'%H", "%H%", "" })
        EXPECT_FALSE(StrftimeToPattern(f, p)) << f;
    EXPECT_EQ(p, "unchanged");
}

TEST_F(TimeDefaults, ListenersAreToldInRegistrationOrderAfterEveryChange)
{
    std::vector<std::string> log;
    TListener a(&log, "a"), b(&log, "b");
    RegisterDefaultsListener(&a);
    RegisterDefaultsListener(&b);
    RegisterDefaultsListener(&a);
    SetTimeOffset(5);
    SetTimeFormats("hh");
    SetTimeFormats("bad q");
    EXPECT_EQ(log, (std::vector<std::string> { "a", "b", "a", "b", "a", "b" }));
    UnregisterDefaultsListener(&a);
    SetTimeOffset(0);
    EXPECT_EQ(a.Calls, 3);
    EXPECT_EQ(b.Calls, 4);
}

TEST_F(TimeDefaults, NotificationSurvivesListenersThatUnregisterDestroyOrRaise)
{
    std::vector<std::string> log;
    TListener first(&log, "first"), thrower(&log, "thrower"), last(&log, "last");
    auto doomed = std::make_unique<TListener>(&log, "doomed");
    first.Action = [&] {
        UnregisterDefaultsListener(&first);
        doomed.reset(); // destroyed before its turn: must not be called
    };
    thrower.Action = [] { throw std::runtime_error("listener failed"); };
    for (IDefaultsListener *l :
        std::initializer_list<IDefaultsListener *> { &first, doomed.get(), &thrower, &last })
        RegisterDefaultsListener(l);

    SetTimeOffset(30);
    EXPECT_EQ(log, (std::vector<std::string> { "first", "thrower", "last" }));
    ASSERT_EQ(DebugLog::Entries().size(), 1u);
    EXPECT_EQ(DebugLog::Entries()[0],
        "Class=std::runtime_error, Message=listener failed, "
        "Location=TimeDefaults, NotifyDefaultsListeners");

    log.clear();
    SetTimeFormats("");
    EXPECT_EQ(log, (std::vector<std::string> { "thrower", "last" }));
}

TEST_F(TimeDefaults, AnObjectOfItsOwnKeepsItsListenersAndLetsThemGoWhenFreed)
{
    TListener own, shared;
    RegisterDefaultsListener(&shared);
    auto defaults = std::make_unique<TSharedDefaults>(Clock);
    defaults->RegisterListener(&own);
    defaults->SetTimeOffset(ServerTimeOffsetMinutes);
    EXPECT_TRUE(defaults->ServerTimeMode());
    EXPECT_FALSE(ServerTimeMode()) << "the process's defaults are another object";
    EXPECT_EQ(own.Calls, 1);
    EXPECT_EQ(shared.Calls, 0);
    SetTimeOffset(5);
    EXPECT_EQ(own.Calls, 1);

    // Registering with the process's defaults takes the listener from the other object.
    RegisterDefaultsListener(&own);
    defaults->SetTimeOffset(0);
    EXPECT_EQ(own.Calls, 1);
    defaults->RegisterListener(&own);
    defaults.reset(); // the listener outlives it and is destroyed safely afterwards
}

} // namespace
