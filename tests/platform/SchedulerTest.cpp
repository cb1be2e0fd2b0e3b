// Timers, deferred calls and the queues that run work on other threads or the main thread.
#include "platform/Scheduler.h"

#include "platform/DispatchQueue.h"
#include "platform/sim/VirtualScheduler.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <pthread.h>
#include <thread>
#include <vector>

using platform::DispatchQueue;
using platform::TimerHandle;
using platform::sim::VirtualScheduler;

TEST(VirtualScheduler, FiresTimersInDueOrderUntilCancelledAndPostedWorkWhileItsContextLives)
{
    VirtualScheduler scheduler;
    const QDateTime start = scheduler.currentDate();
    std::vector<std::pair<int, double>> fired;
    auto late = scheduler.after(1.5, [&] { fired.emplace_back(2, scheduler.now()); });
    auto early = scheduler.after(0.5, [&] { fired.emplace_back(1, scheduler.now()); });
    auto sameTimeSecond = scheduler.after(1.5, [&] { fired.emplace_back(3, scheduler.now()); });
    int ticks = 0;
    auto repeating = scheduler.every(1.0, [&] { ++ticks; });
    int dropped = 0;
    {
        auto scoped = scheduler.every(1.0, [&] { ++dropped; });
    }
    scheduler.advance(1.0);
    EXPECT_EQ(fired.size(), 1U);
    scheduler.advance(2.5);
    EXPECT_EQ(fired, (std::vector<std::pair<int, double>>{{1, 0.5}, {2, 1.5}, {3, 1.5}}));
    EXPECT_FALSE(late.isActive());
    EXPECT_EQ(ticks, 3);
    repeating.cancel();
    scheduler.advance(4.5);
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(dropped, 0);
    EXPECT_EQ(scheduler.pendingCount(), 0U);
    EXPECT_EQ(start.secsTo(scheduler.currentDate()), 8) << "dates follow the virtual clock";

    // Timers may cancel themselves or post more; posted work needs its context.
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
    auto context = std::make_unique<QObject>();
    int posted = 0;
    scheduler.postAfter(1.0, context.get(), [&] { ++posted; });
    scheduler.post(context.get(), [&] { ++posted; });
    scheduler.runPending();
    EXPECT_EQ(chain, (std::vector<int>{1, 2}));
    EXPECT_EQ(posted, 1);
    context.reset();
    scheduler.advance(3);
    EXPECT_EQ(posted, 1);
    EXPECT_EQ(runs, 1);
}

TEST(DispatchQueue, RunsBlocksInOrderOnItsOwnThreadNamedAfterItsLabelAndFinishesThemBeforeItEnds)
{
    std::vector<int> order;
    std::string name;
    std::atomic<bool> onQueue = true;
    {
        DispatchQueue queue(QStringLiteral("com.example.a-very-long-label"));
        // Linux keeps 15 characters of a thread name.
        EXPECT_EQ(queue.threadName(), QStringLiteral("com.example.a-v"));
        queue.sync([&name] {
            char buffer[32] = {};
            pthread_getname_np(pthread_self(), buffer, sizeof(buffer));
            name = buffer;
        });
        for (int i = 0; i < 50; ++i) {
            queue.async([&, i] {
                order.push_back(i);
                onQueue = onQueue && queue.isCurrent();
            });
        }
        EXPECT_FALSE(queue.isCurrent());
    }
    EXPECT_EQ(name, "com.example.a-v");
    EXPECT_EQ(order.size(), 50U);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
    EXPECT_TRUE(onQueue);
}

TEST(QtSchedulerAndMainQueue, RunTimersAndBlocksFromAnyThreadOnTheMainThreadInOrder)
{
    platform::QtScheduler scheduler;
    int fired = 0;
    int cancelled = 0;
    auto timer = scheduler.after(0.01, [&] { ++fired; });
    auto other = scheduler.after(0.01, [&] { ++cancelled; });
    other.cancel();
    QObject signaller;
    QSignalSpy done(&signaller, &QObject::objectNameChanged);
    scheduler.postAfter(0.05, &signaller, [&] { signaller.setObjectName(QStringLiteral("timers")); });
    ASSERT_TRUE(done.wait(5000));
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(cancelled, 0);
    EXPECT_FALSE(timer.isActive());

    platform::QtMainQueue main;
    std::vector<int> ran;
    bool onMainThread = true;
    const auto mainThread = std::this_thread::get_id();
    std::thread producer([&] {
        for (int i = 0; i < 20; ++i) {
            main.async([&, i] {
                ran.push_back(i);
                onMainThread = onMainThread && std::this_thread::get_id() == mainThread;
            });
        }
        main.async([&signaller] { signaller.setObjectName(QStringLiteral("queue")); });
    });
    producer.join();
    ASSERT_TRUE(done.wait(5000));
    EXPECT_EQ(ran.size(), 20U);
    EXPECT_TRUE(std::is_sorted(ran.begin(), ran.end()));
    EXPECT_TRUE(onMainThread);
}
