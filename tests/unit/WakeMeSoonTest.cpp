// Deferred wake-up on the Qt loop.

#include "link/WakeMeSoon.h"

#include "support/DebugLog.h"
#include "support/QtLoop.h"

#include <gtest/gtest.h>
#include <utility>

using namespace kestrova;

namespace {

TEST(WakeMeSoon, ManyRequestsGiveOneCallFromTheLoopAndOneInsideTheHandlerOneMore)
{
    TWakeMeSoon wake;
    int calls = 0;
    bool again = false;
    wake.OnWake = [&] {
        ++calls;
        if (std::exchange(again, false)) {
            wake.RequestWake();
            wake.RequestWake();
        }
    };
    for (int i = 0; i < 10; ++i)
        wake.RequestWake();
    EXPECT_EQ(calls, 0); // never inside the caller
    EXPECT_TRUE(wake.Pending());
    kvtest::RunFor(30);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(wake.Pending());

    again = true;
    wake.RequestWake();
    kvtest::RunFor(50);
    EXPECT_EQ(calls, 3);
}

TEST(WakeMeSoon, UnsetHandlerConsumesTheWakeAndDestroyDropsAQueuedOne)
{
    TWakeMeSoon wake;
    wake.RequestWake();
    kvtest::RunFor(20);
    EXPECT_FALSE(wake.Pending());

    int calls = 0;
    {
        TWakeMeSoon doomed;
        doomed.OnWake = [&] { ++calls; };
        doomed.RequestWake();
    }
    kvtest::RunFor(20);
    EXPECT_EQ(calls, 0);
}

TEST(WakeMeSoon, HandlerMayDestroyItsOwnerAndExceptionsAreReported)
{
    auto wake = std::make_unique<TWakeMeSoon>();
    bool ran = false;
    wake->OnWake = [&] {
        ran = true;
        wake.reset();
    };
    wake->RequestWake();
    kvtest::RunFor(30);
    EXPECT_TRUE(ran);

    DebugLog::Clear();
    TWakeMeSoon throwing;
    throwing.OnWake = [] { throw std::runtime_error("boom"); };
    throwing.RequestWake();
    kvtest::RunFor(30);
    const auto entries = DebugLog::Entries();
    ASSERT_FALSE(entries.empty());
    EXPECT_NE(entries.back().find("Location=WakeMeSoon, TWakeMeSoon.WndPrc"), std::string::npos);
}

} // namespace
