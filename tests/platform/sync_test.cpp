// Events, threads with priorities, and window messages across threads.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/event.h"
#include "platform/thread.h"
#include "platform/window.h"

using namespace platform;
using namespace std::chrono_literals;

TEST(Event, AutoResetReleasesOneWaitAndResets) {
    Event e(false, true);
    EXPECT_EQ(e.Wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(e.Wait(10), WAIT_TIMEOUT);
    std::thread t([&] {
        std::this_thread::sleep_for(20ms);
        e.Set();
    });
    EXPECT_EQ(e.Wait(5000), WAIT_OBJECT_0);
    t.join();
    EXPECT_FALSE(e.IsSet());
}

TEST(Event, ManualResetStaysSetForEveryWaiterUntilReset) {
    Event e(true, false);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            if (e.Wait(5000) == WAIT_OBJECT_0) ++released;
        });
    e.Set();
    for (auto& w : waiters)
        w.join();
    EXPECT_EQ(released, 3);
    EXPECT_EQ(e.Wait(0), WAIT_OBJECT_0);
    e.Reset();
    EXPECT_EQ(e.Wait(0), WAIT_TIMEOUT);
}

TEST(Thread, PriorityMapsToNiceValues) {
    EXPECT_EQ(NiceForPriority(-15), 19);
    EXPECT_EQ(NiceForPriority(-2), 10);
    EXPECT_EQ(NiceForPriority(-1), 5);
    EXPECT_EQ(NiceForPriority(0), 0);
    EXPECT_EQ(NiceForPriority(1), -5);
    EXPECT_EQ(NiceForPriority(2), -10);
    EXPECT_EQ(NiceForPriority(15), -20);
}

TEST(Thread, StartsAtItsPriorityAndFollowsChangesWhileRunning) {
    Event check(false, false), checked(false, false);
    std::atomic<int> seen{-100};
    std::atomic<bool> done{false};
    Thread worker(
        [&] {
            while (!done) {
                if (check.Wait(50) == WAIT_OBJECT_0) {
                    seen = CurrentThreadNice();
                    checked.Set();
                }
            }
        },
        THREAD_PRIORITY_LOWEST);
    check.Set();
    ASSERT_EQ(checked.Wait(5000), WAIT_OBJECT_0);
    EXPECT_EQ(seen, 10);
    EXPECT_EQ(worker.Priority(), THREAD_PRIORITY_LOWEST);

    EXPECT_TRUE(worker.SetPriority(THREAD_PRIORITY_IDLE));
    check.Set();
    ASSERT_EQ(checked.Wait(5000), WAIT_OBJECT_0);
    EXPECT_EQ(seen, 19);

    // Raising needs privilege; without it the thread silently keeps its priority.
    bool raised = worker.SetPriority(THREAD_PRIORITY_ABOVE_NORMAL);
    check.Set();
    ASSERT_EQ(checked.Wait(5000), WAIT_OBJECT_0);
    if (raised) {
        EXPECT_EQ(seen, -5);
    } else {
        EXPECT_EQ(seen, 19);
        EXPECT_EQ(worker.Priority(), THREAD_PRIORITY_IDLE);
    }
    done = true;
    worker.Join();
}

TEST(MessageQueueWindow, PostedMessagesRunInOrderOnTheOwningThread) {
    std::vector<std::uintptr_t> order;
    std::thread::id ranOn;
    MessageQueueWindow window([&](const Message& m) -> std::intptr_t {
        order.push_back(m.wParam);
        ranOn = std::this_thread::get_id();
        return 0;
    });
    std::thread poster([&] {
        for (std::uintptr_t i = 0; i < 100; ++i)
            window.Post(WM_USER + 1, i, 0);
        window.Post(WM_USER + 2, 999, 0);
    });
    window.RunUntil([&] { return !order.empty() && order.back() == 999; });
    poster.join();
    ASSERT_EQ(order.size(), 101u);
    for (std::uintptr_t i = 0; i < 100; ++i)
        EXPECT_EQ(order[i], i);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

// Posts that follow a wake-up closely do not wake the owning thread again; each must still be
// delivered, by the thread looking again when the quiet interval ends. Every post here comes
// right after the handler ran, so without that second look each wait would last until the
// next message and the last one would never arrive.
TEST(MessageQueueWindow, PostsRightAfterAWakeUpAreStillDelivered) {
    std::atomic<int> handled{0};
    MessageQueueWindow window([&](const Message&) -> std::intptr_t { return ++handled; });
    std::thread poster([&] {
        for (int i = 1; i <= 20; ++i) {
            while (handled.load() < i - 1)
                std::this_thread::yield();
            window.Post(WM_USER + 1, 0, 0);
        }
    });
    window.RunUntil([&] { return handled.load() == 20; });
    poster.join();
    EXPECT_EQ(handled.load(), 20);

    // The same through DispatchFor: each post follows a send's wake-up at once. A post left
    // waiting would be found only when the 60 s time-out ran out.
    const auto start = std::chrono::steady_clock::now();
    std::thread sender([&] {
        for (int i = 0; i < 10; ++i) {
            window.Send(WM_USER + 1, 0, 0);
            window.Post(WM_USER + 1, 0, 0);
        }
    });
    while (handled.load() < 40)
        window.DispatchFor(60000);
    sender.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
    EXPECT_EQ(handled.load(), 40);
}

TEST(MessageQueueWindow, SendWaitsForTheHandlersResult) {
    std::atomic<bool> handled{false};
    MessageQueueWindow window([&](const Message& m) -> std::intptr_t {
        handled = true;
        return static_cast<std::intptr_t>(m.wParam) + m.lParam;
    });
    std::intptr_t result = 0;
    std::atomic<bool> senderDone{false};
    std::thread sender([&] {
        result = window.Send(WM_USER + 1, 40, 2);
        senderDone = true;
        window.Wake();
    });
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(senderDone);  // nothing dispatched yet: the sender is still waiting
    window.RunUntil([&] { return senderDone.load(); });
    sender.join();
    EXPECT_TRUE(handled);
    EXPECT_EQ(result, 42);
    // On its own thread Send runs the handler at once.
    EXPECT_EQ(window.Send(WM_USER + 1, 1, 1), 2);
}

TEST(MessageQueueWindow, ASenderIsReleasedWhenTheWindowGoes) {
    std::intptr_t result = -1;
    std::thread sender;
    {
        MessageQueueWindow window([](const Message&) -> std::intptr_t { return 7; });
        sender = std::thread([&] { result = window.Send(WM_USER + 1, 0, 0); });
        std::this_thread::sleep_for(20ms);
    }
    sender.join();
    EXPECT_EQ(result, 0);
}
