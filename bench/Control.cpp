// The control: a rich edit made as the program makes its log pane, inside a visible top-level
// window of this process, filled on this thread with drawing off. One insertion is what the
// program's is: the selection to the end, then EM_REPLACESEL (EM_SETTEXTEX for UTF-8 text). With
// the read loop (ReadLoop.cpp) it is the physical limit of the floods; the floods' rounds fill it.
#include <richedit.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "bench/FloodFamily.h"
#include "res/Commands.h"
#include "tests/helpers/ChildPattern.h"

namespace {

void PumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

} // namespace

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

namespace {

// Where the piece that starts at `done` ends: `piece` bytes of letters; UTF-8 text, as the
// program's queue cuts it, after its last line feed within them.
unsigned long PieceEnd(const std::string& text, unsigned long done, unsigned long piece, bool utf8)
{
    unsigned long end = std::min<unsigned long>(static_cast<unsigned long>(text.size()), done + piece);
    if (!utf8 || end == text.size())
        return end;
    unsigned long cut = end;
    while (cut > done && text[cut - 1] != '\n')
        --cut;
    return cut > done ? cut : end;
}

} // namespace

// The flood's text in the flood's pieces. Stops after the floods' cap, or before the next piece would
// leave too little address space (the control's allocation failures end the process).
ControlRun FillControl(const Bench& bench, const FloodCase& flood)
{
    ControlRun run;
    run.bytes = flood.bytes;
    run.lineLength = flood.lineLength;
    run.piece = flood.Piece();
    run.utf8 = flood.utf8;
    // The program's own cap: a flood stopped there is judged on the bytes both got to.
    const double capMs = bench.options.capMs;
    // Drawing a long line costs about as much as inserting it: measured up to 2 MiB.
    const bool measureDraw = flood.lineLength || flood.bytes <= 2 * kMiB;
    const std::string text = flood.utf8 ? child_pattern::Utf8Text(flood.bytes)
                                        : child_pattern::PatternText(flood.bytes, flood.lineLength);
    HWND frame = nullptr;
    HFONT font = nullptr;
    HWND control = CreateLogControl(&frame, &font);
    if (!control) {
        run.error = Format("no RichEdit control (error %lu)", GetLastError());
    } else {
        SendMessageA(control, WM_SETREDRAW, FALSE, 0);
        std::string piece;
        unsigned long done = 0;
        double start = NowMs();
        while (done < flood.bytes) {
            unsigned long end = PieceEnd(text, done, run.piece, flood.utf8);
            piece.assign(text, done, end - done);
            MEMORYSTATUSEX memory;
            memory.dwLength = sizeof memory;
            if (GlobalMemoryStatusEx(&memory) && memory.ullAvailVirtual < 384ull * kMiB) {
                run.error = Format("stopped with %.0f MiB of address space left",
                                   MiB(static_cast<double>(memory.ullAvailVirtual)));
                break;
            }
            double before = NowMs();
            SendMessageA(control, EM_SETSEL, static_cast<WPARAM>(INT_MAX), static_cast<LPARAM>(INT_MAX));
            if (flood.utf8) {
                SETTEXTEX how = {ST_SELECTION, CP_UTF8};
                SendMessageA(control, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&how),
                             reinterpret_cast<LPARAM>(piece.c_str()));
            } else {
                SendMessageA(control, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(piece.c_str()));
            }
            double ms = NowMs() - before;
            done = end;
            run.insertions.push_back({done, ms});
            PumpMessages();
            if (done < flood.bytes && NowMs() - start > capMs) {
                run.capped = true;
                break;
            }
        }
        // Characters held against the characters of the text put in.
        GETTEXTLENGTHEX how = {GTL_NUMCHARS | GTL_PRECISE, 1200};
        long held = static_cast<long>(SendMessageA(control, EM_GETTEXTLENGTHEX,
                                                   reinterpret_cast<WPARAM>(&how), 0));
        long put = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(done), nullptr, 0);
        run.ok = done == flood.bytes && held == put;
        if (run.error.empty() && !run.capped && !run.ok)
            run.error = Format("the control holds %ld characters of %ld", held, put);
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

// One row per flood: the control's own figures in its median round.
void ControlRows(Bench& bench)
{
    const FloodFamily& family = Family(bench);
    if (!family.measured)
        return;
    for (const FloodCase& flood : family.floods) {
        if (flood.control.empty())
            continue;
        const ControlRun& run = flood.control[MedianRound(flood)];
        ControlFigure figure = ControlUpTo(run, flood.bytes);
        std::string text;
        if (figure.count == 0) {
            text = "failed: " + run.error;
        } else {
            if (figure.reached < flood.bytes)
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
            if (run.drawMs >= 0)
                text += Format("; drawing it once afterwards %.0f ms", run.drawMs);
            if (flood.control.size() > 1)
                text += Format("; the rounds' rates %s", RatesText(flood, ControlRate).c_str());
            if (!run.error.empty() && figure.reached >= flood.bytes)
                text += " - **" + run.error + "**";
        }
        bench.Add("control", "The log control itself (RichEdit as the pane, one thread, drawing off), " +
                                 FloodName(flood.bytes, flood.lineLength, flood.utf8) + " in " +
                                 PieceName(run.piece) + (flood.utf8 ? " (EM_SETTEXTEX, UTF-8)" : "") +
                                 RoundsNote(flood),
                  text);
    }
}
