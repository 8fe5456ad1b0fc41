// The toolkit's background worker: the work on its own thread, the completion on the pumping
// thread, busy until the completion ran, exceptions kept off the worker's thread.
#include <atomic>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "platform/ui/BackgroundWorker.h"
#include "platform/ui/Pump.h"
#include "platform/win32api.h"
#include "tests/support/SimFixture.h"

namespace {

TEST(BackgroundWorkerTest, CompletionRunsOnThePumpingThreadAndEndsBusy)
{
    ui::BackgroundWorker worker("test");
    std::atomic<std::thread::id> workThread{};
    std::thread::id completionThread{};
    int stored = 0;
    worker.DoWork = [&](int arg) {
        workThread = std::this_thread::get_id();
        return arg * 2;
    };
    worker.RunWorkerCompleted = [&](const ui::WorkerCompletion& c) {
        completionThread = std::this_thread::get_id();
        stored = c.Result;
    };
    ASSERT_TRUE(worker.RunWorkerAsync(21));
    EXPECT_FALSE(worker.RunWorkerAsync(1)) << "a busy worker is not started again";
    // Without a pump the worker stays busy, however long its work is over.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(worker.IsBusy());
    EXPECT_EQ(stored, 0);
    while (worker.IsBusy()) ui::DoEvents();
    EXPECT_EQ(stored, 42);
    EXPECT_NE(workThread.load(), std::this_thread::get_id());
    EXPECT_EQ(completionThread, std::this_thread::get_id());

    // Reused for a second run.
    ASSERT_TRUE(worker.RunWorkerAsync(5));
    while (worker.IsBusy()) ui::DoEvents();
    EXPECT_EQ(stored, 10);
}

TEST(BackgroundWorkerTest, AnExceptionOfTheWorkReachesTheCompletionOnly)
{
    ui::BackgroundWorker worker;
    worker.DoWork = [](int) -> int { throw std::runtime_error("spooler gone"); };
    std::exception_ptr error;
    int result = -1;
    worker.RunWorkerCompleted = [&](const ui::WorkerCompletion& c) {
        error = c.Error;
        result = c.Result;
    };
    ASSERT_TRUE(worker.RunWorkerAsync(0));
    while (worker.IsBusy()) ui::DoEvents();
    ASSERT_TRUE(error);
    EXPECT_EQ(result, 0);
    EXPECT_THROW(std::rethrow_exception(error), std::runtime_error);
}

TEST(BackgroundWorkerTest, ACompletionAfterTheWorkerWentAwayIsDropped)
{
    bool ran = false;
    {
        ui::BackgroundWorker worker;
        worker.DoWork = [](int) { return 1; };
        worker.RunWorkerCompleted = [&](const ui::WorkerCompletion&) { ran = true; };
        worker.RunWorkerAsync(0);
    }
    ui::DoEvents();
    EXPECT_FALSE(ran);
}

// On the sim's virtual clock a work's time passes beside the waiting thread's: the wait loop's
// looks (dot, pump, sleep) see the worker busy for as many sleeps as the work lasted, and the
// clock moves by the longer of the two, not by their sum.
class WorkerOnVirtualClock : public txrtest::SimTest {};

TEST_F(WorkerOnVirtualClock, TheWaitLoopSleepsAsLongAsTheWorkTakes)
{
    struct Case {
        win::DWORD workMs;  // the work's own sleeps, in steps of 250 ms as a service wait makes them
        win::DWORD periodMs;
        int looks;
    };
    const Case cases[] = {
        {0, 1000, 1},        // a work that takes no time: one look, as before
        {60000, 1000, 61},   // a removal waiting 60 s for the spooler
        {60000, 2000, 31},   // the same wait in the install loop
        {1500, 2000, 2},     // shorter than one sleep: the next look sees it done
    };
    for (const auto& c : cases) {
        ui::BackgroundWorker worker;
        worker.DoWork = [&](int) {
            for (win::DWORD t = 0; t < c.workMs; t += 250) win::Sleep(250);
            return 7;
        };
        int result = 0;
        std::uint64_t completedAt = 0;
        worker.RunWorkerCompleted = [&](const ui::WorkerCompletion& done) {
            result = done.Result;
            completedAt = win::GetTickCount64();
        };
        const std::uint64_t start = win::GetTickCount64();
        ASSERT_TRUE(worker.RunWorkerAsync(0));
        int looks = 0;
        while (worker.IsBusy() && looks < 1000) {
            ++looks;
            ui::DoEvents();
            if (worker.IsBusy()) win::Sleep(c.periodMs);
        }
        EXPECT_EQ(looks, c.looks) << c.workMs << " ms of work, " << c.periodMs << " ms sleeps";
        EXPECT_EQ(result, 7);
        EXPECT_GE(completedAt - start, c.workMs);
        EXPECT_LT(completedAt - start, c.workMs + c.periodMs) << "the clock moves by the longer, not the sum";
    }
}

TEST_F(WorkerOnVirtualClock, TheWorksEventsCarryItsOwnTime)
{
    ui::BackgroundWorker worker;
    worker.DoWork = [](int) {
        win::Sleep(5000);
        win::Beep(440, 100);
        return 0;
    };
    worker.RunWorkerCompleted = [](const ui::WorkerCompletion&) {};
    const std::uint64_t start = win::GetTickCount64();
    worker.RunWorkerAsync(0);
    while (worker.IsBusy()) {
        ui::DoEvents();
        if (worker.IsBusy()) win::Sleep(1000);
    }
    const auto beeps = Events("beep");
    ASSERT_EQ(beeps.size(), 1u);
    EXPECT_EQ(beeps[0]["t"].get<std::uint64_t>(), start + 5000);
    // The work ended at 5100 ms (the tone lasts 100 ms); the loop saw it at its next look.
    EXPECT_EQ(win::GetTickCount64(), start + 6000);
}

}  // namespace
