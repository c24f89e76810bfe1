// Ctrl-C in a process that has loaded the pass-through libraries before it began to watch for
// it, as velto-batch does when it looks for the drive before the batch starts: their request
// threads start after main blocked SIGINT, so every interrupt reaches the watcher, and none ends
// the process from a library's thread.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "platform/interrupt.h"
#include "tests/aspi/aspi_client.h"

using namespace testaspi;

TEST(Interrupts, EveryCtrlCReachesTheWatcherWhileEitherLibrarysThreadRuns) {
    signal(SIGINT, SIG_DFL);                 // a runner that ignores Ctrl-C would pass that on
    platform::RouteInterruptsToOneThread();  // as main does, before any library is loaded
    std::vector<std::unique_ptr<Library>> libraries;
    for (const char* file : {"libwnaspi32.so", "libwnaspi32-image.so"}) {
        libraries.push_back(std::make_unique<Library>(file));
        ASSERT_TRUE(libraries.back()->Loaded()) << file;
        libraries.back()->SupportInfo();  // starts the library's request thread
        platform::Event event;
        std::vector<BYTE> data(96);
        aspi::SRB_ExecSCSICmd srb = Request(0, kInquiryCdb, data, event);
        Execute(*libraries.back(), srb);
    }
    std::atomic<int> seen{0};
    platform::InterruptWatcher watcher([&](int count) { seen = count; });
    // The kernel gives a process's signal to any thread that does not block it; rounds of
    // them give the libraries' threads their chances.
    for (int i = 0; i < 20; ++i) {
        kill(getpid(), SIGINT);
        for (int wait = 0; wait < 500 && seen == i; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ASSERT_EQ(seen, i + 1);
    }
}
