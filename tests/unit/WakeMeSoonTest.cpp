// Deferred wake-up on the Qt loop.

#include "link/WakeMeSoon.h"

#include "support/DebugLog.h"
#include "support/QtLoop.h"

#include <gtest/gtest.h>

using namespace kestrova;

namespace {

TEST(WakeMeSoon, ManyRequestsGiveOneCallFromTheLoop)
{
    TWakeMeSoon wake;
    int calls = 0;
    wake.OnWake = [&] { ++calls; };
    for (int i = 0; i < 10; ++i)
        wake.RequestWake();
    EXPECT_EQ(calls, 0); // never inside the caller
    EXPECT_TRUE(wake.Pending());
    kvtest::RunFor(30);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(wake.Pending());
}

TEST(WakeMeSoon, RequestInsideHandlerGivesExactlyOneMoreCall)
{
    TWakeMeSoon wake;
    int calls = 0;
    wake.OnWake = [&] {
        if (++calls == 1) {
            wake.RequestWake();
            wake.RequestWake();
        }
    };
    wake.RequestWake();
    kvtest::RunFor(50);
    EXPECT_EQ(calls, 2);
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
