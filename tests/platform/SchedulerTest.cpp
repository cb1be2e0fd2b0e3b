#include "platform/Scheduler.h"

#include "platform/sim/VirtualScheduler.h"

#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using platform::TimerHandle;
using platform::sim::VirtualScheduler;

TEST(VirtualScheduler, FiresTimersInDueOrderAtTheirOwnTime)
{
    VirtualScheduler scheduler;
    std::vector<std::pair<int, double>> fired;
    auto late = scheduler.after(1.5, [&] { fired.emplace_back(2, scheduler.now()); });
    auto early = scheduler.after(0.5, [&] { fired.emplace_back(1, scheduler.now()); });
    auto sameTimeSecond = scheduler.after(1.5, [&] { fired.emplace_back(3, scheduler.now()); });
    scheduler.advance(1.0);
    ASSERT_EQ(fired.size(), 1U);
    scheduler.advance(1.0);
    ASSERT_EQ(fired.size(), 3U);
    EXPECT_EQ(fired[0], std::make_pair(1, 0.5));
    EXPECT_EQ(fired[1], std::make_pair(2, 1.5));
    EXPECT_EQ(fired[2], std::make_pair(3, 1.5));
    EXPECT_DOUBLE_EQ(scheduler.now(), 2.0);
    EXPECT_FALSE(late.isActive());
}

TEST(VirtualScheduler, RepeatsUntilCancelledAndDroppingTheHandleCancels)
{
    VirtualScheduler scheduler;
    int ticks = 0;
    auto timer = scheduler.every(1.0, [&] { ++ticks; });
    scheduler.advance(3.5);
    EXPECT_EQ(ticks, 3);
    timer.cancel();
    scheduler.advance(5);
    EXPECT_EQ(ticks, 3);

    int other = 0;
    {
        auto scoped = scheduler.every(1.0, [&] { ++other; });
    }
    scheduler.advance(5);
    EXPECT_EQ(other, 0);
    EXPECT_EQ(scheduler.pendingCount(), 0U);
}

TEST(VirtualScheduler, ATimerMayCancelItselfOrScheduleMore)
{
    VirtualScheduler scheduler;
    int runs = 0;
    TimerHandle self;
    self = scheduler.every(1.0, [&] {
        ++runs;
        self.cancel();
    });
    std::vector<int> chain;
    auto first = scheduler.after(0, [&] {
        chain.push_back(1);
        scheduler.post(nullptr, [&] { chain.push_back(2); });
    });
    scheduler.runPending();
    EXPECT_EQ(chain, (std::vector<int>{1, 2}));
    scheduler.advance(3);
    EXPECT_EQ(runs, 1);
}

TEST(VirtualScheduler, PostedWorkIsSkippedOnceItsContextIsGone)
{
    VirtualScheduler scheduler;
    auto context = std::make_unique<QObject>();
    int runs = 0;
    scheduler.postAfter(1.0, context.get(), [&] { ++runs; });
    scheduler.post(context.get(), [&] { ++runs; });
    scheduler.runPending();
    EXPECT_EQ(runs, 1);
    context.reset();
    scheduler.advance(2);
    EXPECT_EQ(runs, 1);
}

TEST(VirtualScheduler, DatesFollowTheVirtualClock)
{
    VirtualScheduler scheduler;
    const QDateTime start = scheduler.currentDate();
    scheduler.advance(90);
    EXPECT_EQ(start.secsTo(scheduler.currentDate()), 90);
}

TEST(QtScheduler, RunsOneShotsAndStopsCancelledTimers)
{
    platform::QtScheduler scheduler;
    int fired = 0;
    int cancelled = 0;
    auto timer = scheduler.after(0.01, [&] { ++fired; });
    auto other = scheduler.after(0.01, [&] { ++cancelled; });
    other.cancel();
    QObject done;
    scheduler.postAfter(
        0.05, &done, [&] { QTimer::singleShot(0, &done, [&] { done.setObjectName("done"); }); });
    for (int i = 0; i < 200 && done.objectName().isEmpty(); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(cancelled, 0);
    EXPECT_FALSE(timer.isActive());
}
