// The debug log and its window: batching, hiding on close, and failure-proof reporting.

#include "support/DebugLog.h"

#include "support/DebugWindow.h"
#include "support/Exceptions.h"
#include "support/QtLoop.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace kestrova;

namespace {

// Lines the window gained since `before` was read.
QStringList LinesAfter(const QString &before)
{
    TMiscDebugWindow *window = TMiscDebugWindow::Instance();
    QString added = window->Text().mid(before.size());
    if (added.startsWith('\n'))
        added.remove(0, 1);
    return added.split('\n');
}

QString CurrentText()
{
    TMiscDebugWindow::Install();
    ShowDebugMessage("setup");
    TMiscDebugWindow::Instance()->Timer1Timer();
    return TMiscDebugWindow::Instance()->Text();
}

class EThrowingName : public Exception
{
public:
    using Exception::Exception;
    const char *ClassName() const override { throw std::runtime_error("no name"); }
};

class ENullName : public Exception
{
public:
    using Exception::Exception;
    const char *ClassName() const override { return nullptr; }
};

class NullMessage : public std::exception
{
public:
    const char *what() const noexcept override { return nullptr; }
};

TEST(DebugWindow, ReportsWithinOneTickAppearTogetherAtTheNextTickInOrder)
{
    const QString before = CurrentText();
    TMiscDebugWindow *window = TMiscDebugWindow::Instance();
    EXPECT_EQ(window->windowTitle(), "Kestrova Debug Window");

    ShowDebugMessage("first");
    ShowDebugMessage("second\r\nsecond, more");
    ShowDebugMessage("third");
    EXPECT_TRUE(window->Waiting());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->Text(), before);

    ASSERT_TRUE(kvtest::RunUntil([&] { return !window->Waiting(); }, 2000));
    EXPECT_EQ(LinesAfter(before), (QStringList { "first", "second", "second, more", "third" }));
    EXPECT_EQ(window->Text().count('\r'), 0);

    // A tick without a report since the last one adds nothing.
    const QString settled = window->Text();
    window->Timer1Timer();
    EXPECT_EQ(window->Text(), settled);
}

TEST(DebugWindow, ClosingHidesAndTheNextReportShowsTheSameWindowWithOldLines)
{
    const QString before = CurrentText();
    TMiscDebugWindow *window = TMiscDebugWindow::Instance();
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(TMiscDebugWindow::Instance(), window);

    ShowDebugMessage("after close");
    EXPECT_EQ(TMiscDebugWindow::Instance(), window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized());
    window->Timer1Timer();
    EXPECT_TRUE(window->Text().startsWith(before));
    EXPECT_EQ(LinesAfter(before), QStringList { "after close" });
}

TEST(DebugLog, ReportExceptionWritesClassMessageAndLocation)
{
    DebugLog::Clear();
    ReportException(EAssertionFailed("broken"), "TalkWithServer, TTalkWithServer.Connect");
    ReportException(std::runtime_error("plain"), "Unit, TClass.Method");
    EXPECT_EQ(DebugLog::Entries(),
        (std::vector<std::string> {
            "Class=EAssertionFailed, Message=broken, Location=TalkWithServer, "
            "TTalkWithServer.Connect",
            "Class=std::runtime_error, Message=plain, Location=Unit, TClass.Method" }));
}

TEST(DebugLog, AnExceptionThatCannotBeDescribedProducesNoLineAndNoError)
{
    DebugLog::Clear();
    EXPECT_NO_THROW(ReportException(EThrowingName("x"), "here"));
    EXPECT_NO_THROW(ReportException(ENullName("x"), "here"));
    EXPECT_NO_THROW(ReportException(NullMessage(), "here"));
    EXPECT_TRUE(DebugLog::Entries().empty());
    EXPECT_FALSE(RunGuarded("here", [] { throw EThrowingName("x"); }));
    EXPECT_TRUE(DebugLog::Entries().empty());
}

TEST(DebugLog, RunGuardedCatchesEverythingAndReportsWithTheLocation)
{
    DebugLog::Clear();
    int ran = 0;
    EXPECT_TRUE(RunGuarded("Unit, TA.Ok", [&] { ++ran; }));
    EXPECT_FALSE(RunGuarded("Unit, TA.Assert", [] { KV_ASSERT(false, "must hold"); }));
    EXPECT_FALSE(RunGuarded("Unit, TA.Int", [] { throw 42; }));
    EXPECT_EQ(ran, 1);
    const auto entries = DebugLog::Entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].rfind("Class=EAssertionFailed, Message=must hold (", 0), 0u) << entries[0];
    EXPECT_NE(entries[0].find("DebugLogTest.cpp, line "), std::string::npos);
    EXPECT_TRUE(entries[0].ends_with(", Location=Unit, TA.Assert"));
    EXPECT_EQ(entries[1], "Class=Unknown, Message=Unknown exception, Location=Unit, TA.Int");
}

} // namespace
