// The toolkit's background worker: the work on its own thread, the completion on the pumping
// thread, busy until the completion ran, exceptions kept off the worker's thread.
#include <atomic>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "platform/ui/BackgroundWorker.h"
#include "platform/ui/Pump.h"

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

}  // namespace
