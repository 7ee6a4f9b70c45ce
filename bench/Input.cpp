// Input during a flood: from a key sent with SendInput to the program's handling of it, while a
// job floods the log with 10 MiB of 80-byte lines. The keys are Alt and Esc in turn: the window
// enters its menu bar's mode on Alt and leaves it on Esc, which shows from outside
// (GetGUIThreadInfo) and costs the program next to nothing, so that the figure is the wait alone.
#include "bench/Bench.h"
#include "res/Commands.h"

namespace {

const unsigned long kFloodBytes = 10 * kMiB;
const unsigned long kLineLength = 80;
const double kUnansweredMs = 10000;

struct InputResult {
    std::vector<double> ms;
    int unanswered = 0;
    std::string error;
};

bool ran = false;
InputResult input;

bool InMenuMode(DWORD thread)
{
    GUITHREADINFO info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(thread, &info) && (info.flags & GUI_INMENUMODE) != 0;
}

unsigned long FloodBytes(const Bench& bench)
{
    return bench.options.quick ? 2 * kMiB : kFloodBytes;
}

} // namespace

void RunInput(Bench& bench)
{
    ran = true;
    Driver target(bench.paths.runFolder);
    target.WriteIni(IniText(bench.paths.vqchild, FloodArguments(FloodBytes(bench), kLineLength)));
    if (!target.Start()) {
        input.error = "the program did not start";
        return;
    }
    DWORD thread = GetWindowThreadProcessId(target.Window(), nullptr);
    target.Command(ID_RUN_DEFAULT);
    // Once the log's queue is full: the flood is in full swing.
    Sleep(1500);
    double start = NowMs();
    while (NowMs() - start < bench.options.capMs && target.ChildPid("vqchild.exe")) {
        bool menu = InMenuMode(thread);
        SetForegroundWindow(target.Window());
        double sent = NowMs();
        PressKey(menu ? VK_ESCAPE : VK_MENU);
        while (InMenuMode(thread) == menu && NowMs() - sent < kUnansweredMs)
            Sleep(1);
        if (InMenuMode(thread) != menu)
            input.ms.push_back(NowMs() - sent);
        else
            ++input.unanswered;
        Sleep(50);
    }
    if (InMenuMode(thread))
        PressKey(VK_ESCAPE);
    EndChild(target, "vqchild.exe");
    target.Close();
    Progress(Format("%d keys, worst %.0f ms", static_cast<int>(input.ms.size()), Max(input.ms)));
}

void InputRows(Bench& bench)
{
    if (!ran)
        return;
    std::string what = "A key (Alt, Esc in turn) sent with SendInput to its handling, during a " +
                       FloodName(FloodBytes(bench), kLineLength) + " flood";
    if (input.ms.empty()) {
        bench.Add("input", what, input.error.empty() ? "no keys" : input.error, "worst < 100 ms", "-");
        return;
    }
    std::string figure = Format("worst %.0f ms, median %.0f ms (%d keys", Max(input.ms),
                                Median(input.ms), static_cast<int>(input.ms.size()));
    if (input.unanswered)
        figure += Format(", %d not handled within 10 s", input.unanswered);
    bench.Add("input", what, figure + ")", "worst < 100 ms",
              YesNo(Max(input.ms) < 100 && input.unanswered == 0));
}
