// The control: a rich edit made as the program makes its log pane, inside a visible top-level
// window of this process, filled on this thread with drawing off. One insertion is what the
// program's is: the selection to the end, then EM_REPLACESEL. With the read loop (ReadLoop.cpp)
// it is the physical limit of the floods.
#include <richedit.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "bench/FloodFamily.h"
#include "res/Commands.h"
#include "tests/helpers/ChildPattern.h"

namespace {

using child_pattern::Pattern;

void PumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// The log window's own recipe (app/LogWindow.cpp): class, styles, id, font, limit.
HWND CreateLogControl(HWND* frame, HFONT* font)
{
    // Both libraries, as the program loads them; they stay loaded.
    if (!GetModuleHandleA("RICHED32.DLL"))
        LoadLibraryA("RICHED32.DLL");
    if (!GetModuleHandleA("RICHED20.DLL"))
        LoadLibraryA("RICHED20.DLL");
    HINSTANCE instance = GetModuleHandleA(nullptr);
    const char kFrameClass[] = "VelquethBenchFrame";
    WNDCLASSA frameClass;
    std::memset(&frameClass, 0, sizeof frameClass);
    frameClass.lpfnWndProc = DefWindowProcA;
    frameClass.hInstance = instance;
    frameClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    frameClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    frameClass.lpszClassName = kFrameClass;
    RegisterClassA(&frameClass);  // fails harmlessly when a run before registered it
    *frame = CreateWindowExA(0, kFrameClass, "velqueth_bench: the log control", WS_OVERLAPPEDWINDOW,
                             CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
    *font = nullptr;
    if (!*frame)
        return nullptr;
    ShowWindow(*frame, SW_SHOWNORMAL);
    UpdateWindow(*frame);
    RECT client;
    GetClientRect(*frame, &client);
    const DWORD kPaneStyle = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                             ES_AUTOVSCROLL | ES_AUTOHSCROLL;
    HWND control = CreateWindowExA(WS_EX_CONTROLPARENT, "RichEdit", "", kPaneStyle, 0, 0,
                                   client.right, client.bottom, *frame,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_PANE)), instance,
                                   nullptr);
    if (!control)
        return nullptr;
    LOGFONTA description;
    if (GetObjectA(GetStockObject(SYSTEM_FIXED_FONT), sizeof description, &description)) {
        *font = CreateFontIndirectA(&description);
        if (*font)
            SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(*font), FALSE);
    }
    SendMessageA(control, EM_LIMITTEXT, 0x7FFFFFFE, 0);
    PumpMessages();
    return control;
}

// `bytes` of the flood text in pieces of `piece`. Stops after capMs, or before the next piece
// would leave too little address space (the control's allocation failures end the process).
ControlRun FillControl(unsigned long bytes, unsigned long lineLength, unsigned long piece,
                       double capMs, bool measureDraw)
{
    ControlRun run;
    run.bytes = bytes;
    run.lineLength = lineLength;
    run.piece = piece;
    HWND frame = nullptr;
    HFONT font = nullptr;
    HWND control = CreateLogControl(&frame, &font);
    if (!control) {
        run.error = Format("no RichEdit control (error %lu)", GetLastError());
    } else {
        SendMessageA(control, WM_SETREDRAW, FALSE, 0);
        std::string text;
        unsigned long done = 0;
        double start = NowMs();
        while (done < bytes) {
            unsigned long count = std::min(piece, bytes - done);
            text.resize(count);
            for (unsigned long i = 0; i < count; ++i)
                text[i] = Pattern(done + i, lineLength);
            MEMORYSTATUSEX memory;
            memory.dwLength = sizeof memory;
            if (GlobalMemoryStatusEx(&memory) && memory.ullAvailVirtual < 384ull * kMiB) {
                run.error = Format("stopped with %.0f MiB of address space left",
                                   MiB(static_cast<double>(memory.ullAvailVirtual)));
                break;
            }
            double before = NowMs();
            SendMessageA(control, EM_SETSEL, static_cast<WPARAM>(INT_MAX), static_cast<LPARAM>(INT_MAX));
            SendMessageA(control, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
            double ms = NowMs() - before;
            done += count;
            run.insertions.push_back({done, ms});
            PumpMessages();
            if (done < bytes && NowMs() - start > capMs) {
                run.capped = true;
                break;
            }
        }
        long held = static_cast<long>(SendMessageA(control, WM_GETTEXTLENGTH, 0, 0));
        run.ok = done == bytes && held == static_cast<long>(done);
        if (run.error.empty() && !run.capped && !run.ok)
            run.error = Format("the control holds %ld characters of %lu", held, done);
        if (measureDraw) {
            double before = NowMs();
            SendMessageA(control, WM_SETREDRAW, TRUE, 0);
            RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW);
            run.drawMs = NowMs() - before;
        }
    }
    if (frame)
        DestroyWindow(frame);
    PumpMessages();
    if (font)
        DeleteObject(font);
    return run;
}

} // namespace

// Lines in 64 KiB pieces, one run as long as the longest flood, read at each flood's size; a long
// line in 1 MiB pieces per size, the shortest also in 64 KiB.
void RunControl(Bench& bench)
{
    FloodFamily& family = Family(bench);
    const std::vector<FloodCase>& floods = family.floods;
    const double controlCapMs = std::max(60000.0, 3 * bench.options.capMs);
    std::vector<unsigned long> lineLengths;
    std::vector<unsigned long> longLines;
    auto add = [](std::vector<unsigned long>& list, unsigned long value) {
        if (std::find(list.begin(), list.end(), value) == list.end())
            list.push_back(value);
    };
    for (const FloodCase& flood : floods) {
        if (flood.lineLength)
            add(lineLengths, flood.lineLength);
        else
            add(longLines, flood.bytes);
    }
    std::sort(longLines.begin(), longLines.end());
    struct Step {
        unsigned long lineLength;
        unsigned long bytes;
        unsigned long piece;
    };
    std::vector<Step> plan;
    for (unsigned long lineLength : lineLengths) {
        unsigned long most = 0;
        for (const FloodCase& flood : floods)
            if (flood.lineLength == lineLength)
                most = std::max(most, flood.bytes);
        plan.push_back({lineLength, most, kLinePiece});
    }
    if (!longLines.empty())
        plan.push_back({0, longLines.front(), kLinePiece});
    for (unsigned long bytes : longLines)
        plan.push_back({0, bytes, kLongPiece});
    for (const Step& step : plan) {
        const unsigned long lineLength = step.lineLength;
        const unsigned long bytes = step.bytes;
        const unsigned long piece = step.piece;
        // Drawing a long line costs about as much as inserting it: measured up to 2 MiB.
        bool draw = lineLength || bytes <= 2 * kMiB;
        ControlRun run = FillControl(bytes, lineLength, piece, controlCapMs, draw);
        ControlFigure all = ControlUpTo(run, bytes);
        Progress(Format("control  %-26s in %-15s %s, %s, longest insertion %.0f ms%s%s",
                        FloodName(bytes, lineLength).c_str(), PieceName(piece).c_str(), Seconds(all.ms).c_str(),
                        Rate(all.reached, all.ms).c_str(), all.longest,
                        run.drawMs >= 0 ? Format(", drawing %.0f ms", run.drawMs).c_str() : "",
                        run.error.empty() ? "" : (" - " + run.error).c_str()));
        family.controls.push_back({lineLength, piece, run});
    }
}

void ControlRows(Bench& bench)
{
    const FloodFamily& family = Family(bench);
    for (const ControlCase& control : family.controls) {
        const ControlRun& run = control.run;
        std::vector<unsigned long> sizes;
        for (const FloodCase& flood : family.floods)
            if (flood.lineLength == run.lineLength && flood.bytes <= run.bytes &&
                (run.lineLength || flood.bytes == run.bytes) &&
                std::find(sizes.begin(), sizes.end(), flood.bytes) == sizes.end())
                sizes.push_back(flood.bytes);
        std::sort(sizes.begin(), sizes.end());
        for (unsigned long size : sizes) {
            ControlFigure figure = ControlUpTo(run, size);
            std::string text;
            if (figure.count == 0) {
                text = "failed: " + run.error;
            } else {
                if (figure.reached < size)
                    text = "stopped after " + Seconds(figure.ms) + " at " + MiBText(figure.reached) +
                           (run.error.empty() ? "" : " (" + run.error + ")") + ", ";
                else
                    text = Seconds(figure.ms) + ", ";
                text += Rate(figure.reached, figure.ms);
                if (run.lineLength)
                    text += Format("; longest insertion %.0f ms of %d", figure.longest, figure.count);
                else if (figure.count == 1)
                    text += Format(": one insertion of %.0f ms", figure.longest);
                else
                    text += Format("; one insertion took %.0f ms at first, %.0f ms at the end (longest "
                                   "%.0f ms of %d)", figure.first, figure.last, figure.longest, figure.count);
                if (size == run.bytes && run.drawMs >= 0)
                    text += Format("; drawing it once afterwards %.0f ms", run.drawMs);
            }
            bench.Add("control", "The log control itself (RichEdit as the pane, one thread, drawing off), " +
                                     FloodName(size, run.lineLength) + " in " + PieceName(run.piece),
                      text);
        }
    }
}

