// The worker hands its job to the main thread; handlers run inside the job's
// message pump and stop it through the stop flag.

#include "app/globals.h"
#include "app/main_window.h"
#include "tests/support/gui.h"
#include "tests/support/sandbox.h"
#include "tests/support/servers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

class WorkerTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        mainThread = std::this_thread::get_id();
        w->FrameCodeCopyFile1->SetVisible(false);
        w->FrameLibInstal1->SetVisible(true);
        // As every job's first step does: the unpacking cover leaves the page.
        w->FrameLibInstal1->Image_Extracting->SetVisible(false);
    }
    // A job like the real one: lowers the flag, then pumps until stopped.
    // `inside` runs once the job is under way; what it posts is handled in
    // the job's own pump.
    void UsePumpingJob(std::function<void()> inside = nullptr)
    {
        w->IdThreadComponent1->OnRun = [this, inside](TIdThreadComponent* s) {
            s->Synchronize([this, inside] {
                jobThread = std::this_thread::get_id();
                Terminate_ThreadCritSec = 0;
                jobRunning = true;
                ++runs;
                if (inside)
                    inside();
                auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
                while (Terminate_ThreadCritSec != Terminate_ThreadCode && std::chrono::steady_clock::now() < deadline)
                    w->UpdateWndThread(3);
                jobRunning = false;
                jobSawStop = Terminate_ThreadCritSec == Terminate_ThreadCode;
            });
        };
    }

    std::thread::id mainThread;
    std::thread::id jobThread;
    std::atomic<bool> jobRunning{false};
    bool jobSawStop = false;
    int runs = 0;
};

TEST_F(WorkerTest, JobRunsOnTheMainThreadAfterTheStartingClickReturned)
{
    // An order without files: the pass only reports done, nothing is unpacked.
    ApiServer server;
    server->AddOrder("W1", "");
    w->IdSSLIOHandlerSocketOpenSSL1->CAFile = server.caFile();
    w->UrlDone = server.base() + "/1/done/W1";
    w->DirSaveFile = box.path();
    auto* p3 = w->FrameLibInstal1;
    p3->StateImage_button(0);
    Terminate_ThreadCritSec = Terminate_ThreadCode;
    SimulateClick(p3->Image_Resume_active);
    EXPECT_EQ(StageWorkApp, 0) << "the job has not run inside the click";
    EXPECT_TRUE(p3->Image_Pause_active->Visible());
    ASSERT_TRUE(waitFor([&] { return !w->IdThreadComponent1->Active(); }));
    EXPECT_EQ(Terminate_ThreadCritSec, 0) << "every run starts with the flag lowered";
    EXPECT_EQ(StageWorkApp, 8);
    EXPECT_TRUE(w->FrameEnd1->Visible());
}

// Back, and the window's close, handled inside the job's own pump: the job
// sees the stop and ends; Back shows page 2, the close hides the window
// before it is freed.
TEST_F(WorkerTest, BackOrCloseInsideTheJobsPumpStopsIt)
{
    auto* p3 = w->FrameLibInstal1;
    for (bool back : {true, false}) {
        SCOPED_TRACE(back ? "Back" : "close");
        runs = 0;
        w->FrameDirCopyFile1->SetVisible(false);
        UsePumpingJob([&, back] { Post([&, back] { back ? SimulateClick(p3->Image_back1) : w->Close(); }); });
        p3->startLibInstal();
        w->IdThreadComponent1->Start();
        ASSERT_TRUE(waitFor([&] { return runs == 1 && !jobRunning && !w->IdThreadComponent1->Active(); }));
        EXPECT_EQ(jobThread, mainThread);
        EXPECT_TRUE(jobSawStop);
        EXPECT_EQ(w->FrameDirCopyFile1->Visible(), back);
        EXPECT_EQ(w->Visible(), back);
        EXPECT_FALSE(p3->Visible());
    }
    CloseMainWindow();  // frees the window; the worker has nothing left to wait for
    w = nullptr;
}

TEST_F(WorkerTest, ExceptionInTheJobIsShownAndRaisesTheStop)
{
    w->IdThreadComponent1->OnRun = [](TIdThreadComponent* s) {
        s->Synchronize([] { throw EInOutError("Disk full"); });
    };
    w->IdThreadComponent1->Start();
    ASSERT_TRUE(waitFor([&] { return !modals.messages.empty() && !w->IdThreadComponent1->Active(); }));
    EXPECT_EQ(modals.messages, std::vector<std::string>{"Error IdThreadComponent: Disk full\n"});
    EXPECT_EQ(Terminate_ThreadCritSec, Terminate_ThreadCode);
}

TEST_F(WorkerTest, WindowFreedWhileAJobIsStillQueued)
{
    UsePumpingJob();
    w->IdThreadComponent1->Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // The job never got to run: freeing the window must not wait for it, and
    // it must not run later against a window that is gone.
    std::atomic<bool> freed{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 500 && !freed; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!freed) {
            std::fprintf(stderr, "freeing the window waited for the queued job\n");
            std::_Exit(1);
        }
    });
    CloseMainWindow();
    freed = true;
    watchdog.join();
    w = nullptr;
    waitFor([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(runs, 0);
}
