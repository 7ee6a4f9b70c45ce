// Find Next in a long log: 10 MiB of 80-byte lines pasted into the program's log, a word that
// stands only in its last line, the selection at the first character. Timed from the key sent
// with SendInput to the match selected: Enter in the Find dialog once, then F3 without it.
#include "bench/Bench.h"

#include <dlgs.h>

#include "res/Commands.h"
#include "tests/helpers/ChildPattern.h"

namespace {

const unsigned long kLogBytes = 10 * kMiB;
const char kWord[] = "needle";  // the letters' pattern never holds it
const int kRounds = 5;
const double kUnansweredMs = 20000;

struct FindResult {
    double dialogMs = -1;
    std::vector<double> ms;
    std::string error;
};

bool ran = false;
FindResult found;

unsigned long LogBytes(const Bench& bench)
{
    return bench.options.quick ? 2 * kMiB : kLogBytes;
}

// From the key to the selection of the word at `at`; -1 when it did not come.
double TimeKey(const Driver& target, WORD key, long at)
{
    SendMessageA(target.Pane(), EM_SETSEL, 0, 0);
    double sent = NowMs();
    PressKey(key);
    long start = -1, end = -1;
    while (NowMs() - sent < kUnansweredMs) {
        if (target.Selection(&start, &end) && start == at)
            return NowMs() - sent;
        Sleep(1);
    }
    return -1;
}

std::string Fill(Driver& target, unsigned long bytes, long* at)
{
    const unsigned long piece = 64 * 1024;
    const std::string text = child_pattern::PatternText(piece, 80);
    for (unsigned long filled = 0; filled < bytes; filled += piece)
        if (!target.Append(text))
            return "an insertion failed";
    *at = target.Length();
    return target.Append(std::string(kWord) + "\r\n") ? "" : "an insertion failed";
}

} // namespace

void RunFind(Bench& bench)
{
    ran = true;
    Driver target(bench.paths.runFolder);
    if (!target.Start()) {
        found.error = "the program did not start";
        return;
    }
    long at = 0;
    found.error = Fill(target, LogBytes(bench), &at);
    std::vector<HWND> dialogs;
    if (found.error.empty()) {
        target.Command(ID_FIND);
        WaitUntil(5000, [&] { return !(dialogs = target.Boxes()).empty(); });
        if (dialogs.empty())
            found.error = "no Find dialog";
    }
    if (found.error.empty()) {
        SetDlgItemTextA(dialogs[0], edt1, kWord);
        SetForegroundWindow(dialogs[0]);
        found.dialogMs = TimeKey(target, VK_RETURN, at);
        PostMessageA(dialogs[0], WM_COMMAND, IDCANCEL, 0);
        WaitUntil(5000, [&] { return target.Boxes().empty(); });
        SetForegroundWindow(target.Window());
        for (int round = 0; round < kRounds; ++round)
            found.ms.push_back(TimeKey(target, VK_F3, at));
    }
    target.Close();
    Progress(Format("dialog %.0f ms, F3 worst %.0f ms", found.dialogMs, Max(found.ms)));
}

void FindRows(Bench& bench)
{
    if (!ran)
        return;
    const std::string what = "Find Next in a " + SizeName(LogBytes(bench)) +
                             " log of 80-byte lines, from the first character to a word in the "
                             "last line: from the key to the selection, ";
    if (!found.error.empty()) {
        bench.Add("find", what + "F3", found.error, "< 500 ms", "-");
        return;
    }
    bench.Add("find", what + "Enter in the Find dialog",
              found.dialogMs < 0 ? "no selection" : Format("%.0f ms", found.dialogMs), "< 500 ms",
              YesNo(found.dialogMs >= 0 && found.dialogMs < 500));
    bool answered = true;
    for (double ms : found.ms)
        answered = answered && ms >= 0;
    bench.Add("find", what + "F3",
              answered ? Format("worst %.0f ms, median %.0f ms (%d keys)", Max(found.ms),
                                Median(found.ms), static_cast<int>(found.ms.size()))
                       : "a key gave no selection",
              "< 500 ms", YesNo(answered && Max(found.ms) < 500));
}
