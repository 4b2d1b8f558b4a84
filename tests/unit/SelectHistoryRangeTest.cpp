// The history range dialog: its verdicts and results (with the display offset), the pickers
// selecting their radio buttons, the reason as the button panel's hint, and its owner.

#include "dialogs/SelectHistoryRange.h"

#include "session/TimeDefaults.h"
#include "support/FakeClock.h"

#include <QComboBox>
#include <QDateEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimeEdit>
#include <cmath>
#include <gtest/gtest.h>

using namespace kestrova;

namespace {

constexpr double Hour = 1.0 / 24;
constexpr double Second = 1.0 / 86400;
constexpr TDateTime Now = 46000 + 14 * Hour; // 14:00 on day 46000

TEST(HistoryRangeModel, VerdictsAndResults)
{
    THistoryRangeChoice choice; // "Now" back to this morning
    EXPECT_EQ(ValidateHistoryRange(choice, Now), "");
    EXPECT_EQ(HistoryRangeStartTime(choice, 0), 0);
    EXPECT_EQ(HistoryRangeEndTime(choice, Now, 0), 46000);

    choice.EndDaysIndex = 3; // "3 days ago", shifted by the display offset
    EXPECT_DOUBLE_EQ(HistoryRangeEndTime(choice, Now, Hour), 45997 - Hour);
    choice.EndDaysIndex = -1;
    EXPECT_EQ(ValidateHistoryRange(choice, Now), InvalidDaysAgoText);

    choice.StartNow = choice.EndDays = false;
    choice.StartDate = choice.EndDate = 46000;
    choice.StartTime = 10 * Hour;
    choice.EndTime = 9 * Hour;
    EXPECT_EQ(ValidateHistoryRange(choice, Now), "");
    EXPECT_DOUBLE_EQ(HistoryRangeStartTime(choice, Hour), 46000 + 9 * Hour) << "10:00 -> 09:00";
    EXPECT_DOUBLE_EQ(HistoryRangeEndTime(choice, Now, Hour), 46000 + 8 * Hour);
    for (double start : { 9 * Hour, 8 * Hour, 9 * Hour + 0.4 * Second }) {
        choice.StartTime = start;
        EXPECT_EQ(ValidateHistoryRange(choice, Now), StartNotAfterEndText) << start;
    }
    choice.StartTime = 9 * Hour + 0.6 * Second;
    EXPECT_EQ(ValidateHistoryRange(choice, Now), "");

    EXPECT_EQ(HistoryEndDaysItems().size(), 15u);
    EXPECT_EQ(HistoryEndDaysItems()[1], "Yesterday morning (1 day ago)");
    EXPECT_EQ(HistoryEndDaysItems()[14], "14 days ago");
    EXPECT_EQ(HistoryDateLimits(Now), std::make_pair(TDateTime(45951), TDateTime(46001)));
}

template<typename T>
T *Child(QWidget &window, const char *name)
{
    T *child = window.findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

class HistoryRangeDialog : public ::testing::Test
{
protected:
    void TearDown() override { ResetTimeDefaults(); }
    kvtest::FakeClock Clock { Now + 0.25 * Second };
    QWidget Owner;
    QPointer<TSelectHistoryRangeForm> Dialog = new TSelectHistoryRangeForm(&Owner);
};

TEST_F(HistoryRangeDialog, PickersSelectTheirButtonsAndOkFollowsTheVerdict)
{
    SetTimeOffset(60);
    int calls = 0;
    TDateTime start = -1, end = -1;
    Dialog->Open([&](TDateTime s, TDateTime e) {
        ++calls;
        start = s;
        end = e;
    });
    auto *okay = Child<QPushButton>(*Dialog, "OkayButton");
    auto *panel = Child<QWidget>(*Dialog, "ButtonPanel");
    auto *startTime = Child<QTimeEdit>(*Dialog, "StartTimePicker");
    auto *endTime = Child<QTimeEdit>(*Dialog, "EndTimePicker");
    EXPECT_TRUE(okay->isEnabled());
    EXPECT_EQ(startTime->time(), QTime(14, 0, 0)) << "cut to whole seconds";
    EXPECT_EQ(Child<QDateEdit>(*Dialog, "StartDatePicker")->minimumDate(),
        QDate(1899, 12, 30).addDays(45951));

    // A start at the end's time: OK is disabled and the panel says why.
    endTime->setTime(QTime(10, 0));
    startTime->setTime(QTime(10, 0));
    EXPECT_TRUE(Child<QRadioButton>(*Dialog, "StartSelectRadioButton")->isChecked());
    EXPECT_TRUE(Child<QRadioButton>(*Dialog, "EndSelectRadioButton")->isChecked());
    EXPECT_FALSE(okay->isEnabled());
    EXPECT_EQ(panel->toolTip().toStdString(), StartNotAfterEndText);
    const QImage disabled = okay->grab().toImage();

    // Back to the days list: the range is valid again.
    Child<QComboBox>(*Dialog, "EndDaysComboBox")->setCurrentIndex(2);
    EXPECT_TRUE(Child<QRadioButton>(*Dialog, "EndDaysRadioButton")->isChecked());
    EXPECT_TRUE(okay->isEnabled());
    EXPECT_EQ(panel->toolTip(), "");
    EXPECT_NE(okay->grab().toImage(), disabled) << "OK no longer looks disabled";

    QTest::mouseClick(okay, Qt::LeftButton);
    EXPECT_EQ(calls, 1);
    EXPECT_DOUBLE_EQ(start, 46000 + 10 * Hour - Hour);
    EXPECT_DOUBLE_EQ(end, 45998 - Hour);

    // The choices stay for the next use; Cancel calls nothing.
    Dialog->Open([&](TDateTime, TDateTime) { ++calls; });
    EXPECT_EQ(startTime->time(), QTime(10, 0));
    QTest::mouseClick(Child<QPushButton>(*Dialog, "CancelButton"), Qt::LeftButton);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(Dialog->isVisible());
}

TEST_F(HistoryRangeDialog, OwnerFreedWhileOpenClosesItAndCallsNothing)
{
    auto owner = std::make_unique<QWidget>();
    QPointer<TSelectHistoryRangeForm> dialog = new TSelectHistoryRangeForm(owner.get());
    bool called = false;
    dialog->Open([&](TDateTime, TDateTime) { called = true; });
    ASSERT_TRUE(dialog->isVisible());
    owner.reset();
    EXPECT_TRUE(dialog.isNull());
    EXPECT_FALSE(called);
}

} // namespace
