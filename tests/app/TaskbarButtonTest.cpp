// The taskbar button while a job runs, seen through its seam: indeterminate progress from the
// start of the job to its end, then a flash when the job ends while another window is in front.
#include <gtest/gtest.h>

#include <windows.h>
#include <shobjidl.h>

#include <string>
#include <vector>

#include "base/Seams.h"
#include "support/App.h"
#include "support/TestSupport.h"

using testing_support::App;
using testing_support::ChildCommand;
using testing_support::Gate;
using testing_support::PumpUntil;

namespace {

struct ProgressCall {
    HWND window;
    int state;
};
std::vector<ProgressCall> progressCalls;
std::vector<FLASHWINFO> flashCalls;

void RecordProgress(HWND window, int state)
{
    progressCalls.push_back({window, state});
}

BOOL WINAPI RecordFlash(PFLASHWINFO flash)
{
    flashCalls.push_back(*flash);
    return TRUE;
}

class TaskbarButtonTest : public testing_support::ChildTest {
protected:
    void SetUp() override
    {
        ChildTest::SetUp();
        seams::taskbarProgress = RecordProgress;
        seams::flashWindowEx = RecordFlash;
    }
    void TearDown() override
    {
        seams::Restore();
        ChildTest::TearDown();
    }
};

} // namespace

TEST_F(TaskbarButtonTest, IndeterminateWhileAJobRunsAndAFlashWhenItEndsBehindAnotherWindow)
{
    const struct Case {
        const char* name;
        bool velquethInFront;
        size_t flashes;
    } cases[] = {{"Velqueth in front", true, 0}, {"another window in front", false, 1}};
    HWND other = testing_support::CreateHostWindow("another program");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        progressCalls.clear();
        flashCalls.clear();
        Gate gate;
        App app;
        ASSERT_TRUE(app.created);
        app.frame->StartJob(ChildCommand("out started wait " + gate.name).c_str());
        ASSERT_TRUE(app.WaitForLog("started"));
        ASSERT_EQ(1u, progressCalls.size());
        EXPECT_EQ(app.Main(), progressCalls[0].window);
        EXPECT_EQ(TBPF_INDETERMINATE, progressCalls[0].state);

        HWND front = c.velquethInFront ? app.Main() : other;
        ShowWindow(other, c.velquethInFront ? SW_HIDE : SW_SHOW);
        SetForegroundWindow(front);
        ASSERT_EQ(front, GetForegroundWindow());
        gate.Open();
        ASSERT_TRUE(PumpUntil([&app] { return !app.frame->workerAlive; }));
        ASSERT_EQ(2u, progressCalls.size());
        EXPECT_EQ(app.Main(), progressCalls[1].window);
        EXPECT_EQ(TBPF_NOPROGRESS, progressCalls[1].state);
        ASSERT_EQ(c.flashes, flashCalls.size());
        if (c.flashes) {
            EXPECT_EQ(sizeof(FLASHWINFO), flashCalls[0].cbSize);
            EXPECT_EQ(app.Main(), flashCalls[0].hwnd);
            EXPECT_EQ(static_cast<DWORD>(FLASHW_TRAY | FLASHW_TIMERNOFG), flashCalls[0].dwFlags);
            EXPECT_EQ(0u, flashCalls[0].uCount);
        }
    }
    DestroyWindow(other);
}
