// The backtest configuration: its settings string (defaults, round trip, another locale), the
// request it builds, and the window: normalisation on OK, wording, "Another alert", owner.

#include "dialogs/QuorixConfigWindows.h"

#include "session/BacktestNames.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>

using namespace kestrova;

namespace {

const char *const DefaultsString
    = "PriceMoveDirection=0&MoveType=0&DollarsValue=0.01&PercentsValue=0.1&ProfitTarget=1&"
      "StopLoss=1&ExitConditionType=0&ExitConditionPercent=0.5&ExitConditionBars=0.5&"
      "EntryHoursStart=0&EntryMinutesStart=30&EntryHoursEnd=0&EntryMinutesEnd=0&ExitTimeType=0&"
      "ExitTimeMinutesAfter=30&ExitTimeMinutesBefore=0&ExitTimeOpenDays=1&ExitTimeClseDays=1&"
      "Location=US&DaysToSkip=0&DaysOfTest=15";

std::map<std::string, std::string> Pairs(const TMessageToServer &message)
{
    std::map<std::string, std::string> pairs;
    for (const auto &field : message)
        pairs[field.Key] = field.Value;
    return pairs;
}

TEST(QuorixSettings, DefaultsStringAndRoundTrip)
{
    EXPECT_EQ(GetQuorixSettings(TQuorixSettings {}), DefaultsString);
    EXPECT_EQ(ParseQuorixSettings(""), TQuorixSettings {});
    EXPECT_EQ(ParseQuorixSettings(DefaultsString), TQuorixSettings {});

    TQuorixSettings s;
    s.PriceMoveDirection = pmDown;
    s.MoveType = mtPercent;
    s.DollarsValue = "2.5";
    s.PercentsValue = "0.123457";
    s.UseProfitTarget = s.UseStopLoss = s.UseStopLossWiggle = true;
    s.ProfitTarget = "3";
    s.ExitConditionType = ecAnotherAlert;
    s.ExitAlertConfig = "form=1&Sh_NH=ON&WN=a b";
    s.EntryHoursStart = "1";
    s.EntryMinutesStart = "15";
    s.ExitTimeType = etAtClose;
    s.ExitTimeCloseDays = "4";
    s.Location = "Canada";
    s.DaysOfTest = "20";
    const std::string text = GetQuorixSettings(s);
    EXPECT_NE(text.find("ExitConditionAlert=form%3D1%26Sh_NH%3DON%26WN%3Da%20b"), std::string::npos)
        << text;
    EXPECT_NE(text.find("UseStopLossWiggle=1"), std::string::npos);
    EXPECT_EQ(ParseQuorixSettings(text), s);

    // Reals keep 6 significant digits; locations match without regard to case.
    s.PercentsValue = "0.1234567891";
    EXPECT_EQ(ParseQuorixSettings(GetQuorixSettings(s)).PercentsValue, "0.123457");
    EXPECT_EQ(ParseQuorixSettings("Location=canada").Location, "Canada");
    EXPECT_EQ(ParseQuorixSettings("Location=Mars&DaysOfTest=x&junk").Location, "US");
    EXPECT_EQ(ParseQuorixSettings("DaysOfTest=x").DaysOfTest, "15");
}

TEST(QuorixSettings, AnotherAlertNeedsAnAlertSetup)
{
    EXPECT_EQ(ParseQuorixSettings("ExitConditionType=3").ExitConditionType, ecNone);
    EXPECT_EQ(
        ParseQuorixSettings("ExitConditionType=3&ExitConditionAlert=form%3D1").ExitConditionType,
        ecAnotherAlert);
    EXPECT_EQ(ParseQuorixSettings("ExitConditionType=7").ExitConditionType, ecNone);
    EXPECT_EQ(ParseQuorixSettings("ExitTimeType=9").ExitTimeType, etMinutesAfter);
}

// A process locale whose decimal point is "," does not change what is written or read.
TEST(QuorixSettings, CommaLocaleWritesAndReadsTheSame)
{
    QTemporaryDir dir;
    QFile source(dir.filePath("comma.src"));
    ASSERT_TRUE(source.open(QIODevice::WriteOnly));
    source.write("LC_NUMERIC\ndecimal_point \"<U002C>\"\nthousands_sep \"<U002E>\"\ngrouping 3\n"
                 "END LC_NUMERIC\n");
    source.close();
    QProcess localedef; // (it warns about the categories the source leaves out)
    localedef.setProcessChannelMode(QProcess::MergedChannels);
    localedef.setStandardOutputFile(QProcess::nullDevice());
    localedef.start(
        "localedef", { "-c", "-i", source.fileName(), "-f", "UTF-8", dir.filePath("xx_KV.UTF-8") });
    localedef.waitForFinished();
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    setenv("LOCPATH", dir.path().toLocal8Bit().constData(), 1);
    const bool comma = std::setlocale(LC_NUMERIC, "xx_KV.UTF-8") != nullptr;
    unsetenv("LOCPATH");
    if (!comma)
        GTEST_SKIP() << "localedef could not build a comma locale";
    char check[16];
    std::snprintf(check, sizeof check, "%.1f", 2.5);
    TQuorixSettings s;
    s.DollarsValue = "2.5";
    s.ExitConditionPercent = "0.75";
    const std::string text = GetQuorixSettings(s);
    const TQuorixSettings back = ParseQuorixSettings(text);
    const auto request = Pairs(BuildQuorixRequest(NormaliseQuorixSettings(s), "", "1", false));
    std::setlocale(LC_NUMERIC, previous.c_str());

    EXPECT_STREQ(check, "2,5") << "the locale is in effect";
    EXPECT_NE(text.find("DollarsValue=2.5&"), std::string::npos) << text;
    EXPECT_EQ(back.DollarsValue, "2.5");
    EXPECT_EQ(back.ExitConditionPercent, "0.75");
    EXPECT_EQ(request.at("success_min_move"), "2.5");
    // A string from a comma locale still reads.
    EXPECT_EQ(ParseQuorixSettings("StopLoss=1%2C5").StopLoss, "1.5");
}

TEST(QuorixRequest, PairsInOrderForTheDefaults)
{
    BacktestWording() = "Halvex";
    const TMessageToServer request
        = BuildQuorixRequest(TQuorixSettings {}, "form=1&Sh_NH=ON", "0000ABCD", false);
    const TMessageToServer expected = { { "command", "quorix_new_request" },
        { "entry_condition", "form=1&Sh_NH=ON" }, { "success_direction", "+" },
        { "success_type", "$" }, { "success_min_move", "0.01" }, { "timeout_type", "minutes" },
        { "timeout_minutes", "30" }, { "before_close_minutes", "0" }, { "at_open_days", "1" },
        { "at_close_days", "1" }, { "profit_target", "" }, { "stop_loss", "" },
        { "stop_loss_wiggle", "" }, { "exit_condition_type", "none" }, { "exit_condition", "" },
        { "entry_time_start", "30" }, { "entry_time_end", "0" }, { "days_of_test", "15" },
        { "days_to_skip", "0" }, { "location", "US" }, { "show_debug_info", "0" },
        { "wording", "Halvex" }, { "window_id", "0000ABCD" } };
    EXPECT_EQ(request, expected);
}

TEST(QuorixRequest, DirectionTrailingStopsTargetsAndEntryTime)
{
    TQuorixSettings s;
    s.PriceMoveDirection = pmDown;
    s.ExitConditionType = ecPercentTrailing;
    s.ExitConditionPercent = "2";
    s.EntryHoursStart = "1";
    s.EntryMinutesStart = "15";
    s.EntryHoursEnd = "x";
    s.EntryMinutesEnd = "10";
    s.MoveType = mtPercent;
    s.PercentsValue = "0.4";
    s.UseStopLossWiggle = true; // without the stop loss it is not sent
    s.ExitTimeType = etAtOpen;
    auto p = Pairs(BuildQuorixRequest(s, "cfg", "1", true));
    EXPECT_EQ(p["success_direction"], "-");
    EXPECT_EQ(p["success_type"], "%");
    EXPECT_EQ(p["success_min_move"], "0.4");
    EXPECT_EQ(p["exit_condition_type"], "auto");
    EXPECT_EQ(p["exit_condition"], "form=1&Sh_TSPU=on&QTSPU=2");
    EXPECT_EQ(p["entry_time_start"], "75");
    EXPECT_EQ(p["entry_time_end"], "10");
    EXPECT_EQ(p["timeout_type"], "open");
    EXPECT_EQ(p["stop_loss_wiggle"], "");
    EXPECT_EQ(p["show_debug_info"], "1");

    s.PriceMoveDirection = pmUp;
    s.ExitConditionType = ecBarsTrailing;
    s.ExitConditionBars = "1.5";
    s.UseProfitTarget = s.UseStopLoss = true;
    s.ProfitTarget = "2";
    s.StopLoss = "0.5";
    p = Pairs(BuildQuorixRequest(s, "cfg", "1", false));
    EXPECT_EQ(p["exit_condition"], "form=1&Sh_TSVD=on&QTSVD=1.5");
    EXPECT_EQ(p["profit_target"], "2");
    EXPECT_EQ(p["stop_loss"], "0.5");
    EXPECT_EQ(p["stop_loss_wiggle"], "1");

    s.ExitConditionType = ecAnotherAlert; // without a setup: none
    EXPECT_EQ(Pairs(BuildQuorixRequest(s, "", "1", false))["exit_condition_type"], "none");
    s.ExitAlertConfig = "form=1&Sh_NL=ON";
    p = Pairs(BuildQuorixRequest(s, "", "1", false));
    EXPECT_EQ(p["exit_condition_type"], "manual");
    EXPECT_EQ(p["exit_condition"], "form=1&Sh_NL=ON");
}

template<typename T>
T *Child(QWidget &window, const char *name)
{
    T *child = window.findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

class QuorixWindow : public ::testing::Test
{
protected:
    QWidget Owner;
    QPointer<TQuorixConfigWindow> Window = new TQuorixConfigWindow(&Owner);
};

TEST_F(QuorixWindow, LettersInTheMoneyEditShowTheDefaultAfterOk)
{
    BacktestFeatureName() = "Backtester";
    EXPECT_EQ(TQuorixConfigWindow(nullptr).windowTitle(), "Configure Backtester");
    Window->SetSettings("DollarsValue=3&DaysOfTest=007");
    std::string saved;
    int calls = 0;
    Window->Open([&](const std::string &settings) {
        saved = settings;
        ++calls;
    });
    EXPECT_TRUE(Window->isVisible());
    auto *dollars = Child<QLineEdit>(*Window, "ByAtLeastDollarsEdit");
    EXPECT_EQ(dollars->text(), "3");
    dollars->clear();
    QTest::keyClicks(dollars, "abc");
    QTest::mouseClick(Child<QPushButton>(*Window, "OkayButton"), Qt::LeftButton);

    EXPECT_FALSE(Window->isVisible());
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(dollars->text(), "0.01");
    EXPECT_EQ(Child<QLineEdit>(*Window, "DaysOfTestEdit")->text(), "7");
    EXPECT_EQ(saved, Window->GetSettings());
    EXPECT_EQ(Pairs(Window->BuildQuorixRequest("", "1", false))["success_min_move"], "0.01");

    // Cancel hands nothing back.
    Window->Open([&](const std::string &) { ++calls; });
    QTest::mouseClick(Child<QPushButton>(*Window, "CancelButton"), Qt::LeftButton);
    EXPECT_EQ(calls, 1);
}

TEST_F(QuorixWindow, WordingFollowsDirectionAndMoveType)
{
    auto *target = Child<QCheckBox>(*Window, "ProfitTargetCheckBox");
    auto *unit = Child<QLabel>(*Window, "StopLossUnitLabel");
    Window->resize(Window->sizeHint());
    const QImage before = target->grab().toImage();
    EXPECT_EQ(target->text(), "Sell if the price moves up");
    EXPECT_EQ(
        Child<QCheckBox>(*Window, "StopLossCheckBox")->text(), "Sell if the price moves down");
    EXPECT_EQ(unit->text(), "$");

    QTest::mouseClick(Child<QRadioButton>(*Window, "PriceMovesDownRadioButton"), Qt::LeftButton);
    Child<QRadioButton>(*Window, "ByAtLeastPercentRadioButton")->click();
    EXPECT_EQ(target->text(), "Buy if the price moves down");
    EXPECT_EQ(Child<QCheckBox>(*Window, "StopLossCheckBox")->text(), "Buy if the price moves up");
    EXPECT_EQ(unit->text(), "%");
    EXPECT_NE(target->grab().toImage(), before) << "the new caption is drawn";

    QTest::mouseClick(Child<QPushButton>(*Window, "RestoreDefaultsButton"), Qt::LeftButton);
    EXPECT_EQ(Window->GetSettings(), DefaultsString);
}

TEST_F(QuorixWindow, AnotherAlertIsConfiguredFirst)
{
    auto *another = Child<QRadioButton>(*Window, "ExitCondAnotherAlertRadioButton");
    auto *configure = Child<QPushButton>(*Window, "ExitCondConfigureButton");
    Window->SetSettings("ExitConditionType=3");
    EXPECT_FALSE(another->isEnabled());
    EXPECT_TRUE(Child<QRadioButton>(*Window, "ExitCondNoneRadioButton")->isChecked());
    EXPECT_FALSE(configure->isEnabled()) << "nothing to configure with yet";

    std::string shown;
    std::function<void(const std::string &)> done;
    Window->SetConfigureExitAlert([&](const std::string &config, auto callback) {
        shown = config;
        done = std::move(callback);
    });
    QTest::mouseClick(configure, Qt::LeftButton);
    ASSERT_TRUE(done);
    EXPECT_EQ(shown, "");
    done("form=1&Sh_NL=ON");
    EXPECT_TRUE(another->isEnabled());
    EXPECT_TRUE(another->isChecked());
    EXPECT_EQ(ParseQuorixSettings(Window->GetSettings()).ExitAlertConfig, "form=1&Sh_NL=ON");

    // The configure-alerts dialog may answer after the window is gone.
    QTest::mouseClick(configure, Qt::LeftButton);
    EXPECT_EQ(shown, "form=1&Sh_NL=ON");
    delete Window;
    done("form=1&Sh_NH=ON");
}

TEST_F(QuorixWindow, OwnerFreedWhileOpenClosesItAndCallsNothing)
{
    auto owner = std::make_unique<QWidget>();
    QPointer<TQuorixConfigWindow> window = new TQuorixConfigWindow(owner.get());
    bool called = false;
    window->Open([&](const std::string &) { called = true; });
    ASSERT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowModality(), Qt::WindowModal);
    owner.reset();
    EXPECT_TRUE(window.isNull());
    EXPECT_FALSE(called);
}

} // namespace
