#include "OutputPane.h"

#include <richedit.h>

#include <climits>
#include <cstring>

OutputPane::OutputPane() : window(nullptr), plainEdit(false)
{
}

OutputPane::~OutputPane()
{
}

void OutputPane::Attach(HWND paneWindow)
{
    window = paneWindow;
    char className[128] = "";
    GetClassNameA(paneWindow, className, sizeof className);
    plainEdit = lstrcmpiA(className, "RICHEDIT") != 0;
}

UINT OutputPane::ChunkMessage()
{
    static const UINT message = RegisterWindowMessageA("Velqueth.InsertChunk");
    return message;
}

void OutputPane::SelectEnd(HWND paneWindow)
{
    // Both edit controls clamp a position past the end to the end of the text, which spares
    // counting a log that may hold megabytes.
    SendMessageA(paneWindow, EM_SETSEL, static_cast<WPARAM>(INT_MAX), static_cast<LPARAM>(INT_MAX));
}

LRESULT OutputPane::AppendPlain(const char* text)
{
    if (!window)
        return 0;
    SelectEnd(window);
    return SendMessageA(window, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
}

LRESULT OutputPane::Append(const char* text, COLORREF colour)
{
    if (!window)
        return 0;
    if (plainEdit)
        return AppendPlain(text);

    SelectEnd(window);

    CHARFORMATA format;
    std::memset(&format, 0, sizeof format);
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR;
    SendMessageA(window, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));

    COLORREF previous = format.crTextColor;
    format.crTextColor = colour;
    format.dwEffects &= ~CFE_AUTOCOLOR;
    SendMessageA(window, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));

    SendMessageA(window, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));

    // Back to the automatic colour at the insertion point, so that the child's output, which is
    // inserted without a format of its own, shows in the normal text colour.
    format.crTextColor = previous;
    format.dwEffects |= CFE_AUTOCOLOR;
    return SendMessageA(window, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
}

// ---------------------------------------------------------------------------------------------
// Creation of the pane window, an operation of the frame.

#include <commctrl.h>
#include <cstdio>

#include <new>

#include "../about/VersionInfo.h"
#include "../runner/PaneConsoleRunner.h"
#include "BuildConstants.h"
#include "Commands.h"
#include "MainFrame.h"
#include "Seams.h"

void FormatBannerLine(char* line, size_t size, const char* title, const char* special,
                      const char* version, const char* url)
{
    const char kBreak[] = "\r\n";
    if (size < sizeof kBreak) {
        if (size > 0)
            line[0] = '\0';
        return;
    }
    int written = std::snprintf(line, size, "%s Version %s %s\t%s%s", title, special, version, url,
                                kBreak);
    if (written < 0 || static_cast<size_t>(written) >= size) {
        size_t keep = size - sizeof kBreak;  // room for the break and the terminator
        std::snprintf(line + keep, size - keep, "%s", kBreak);
    }
}

namespace {

// While a child floods the log, the pane is drawn again whole at most this often. Drawing the
// text and both scroll bars after every chunk cost many times the insertion itself (under Wine
// it held a flood to a few KB/s); the text itself still goes in at once.
const DWORD kRedrawIntervalMs = 100;
const UINT_PTR kRedrawTimer = 0x5651;

// The log pane's drawing state, in the pane's user-data slot from CreatePane until the pane goes.
struct PaneRedraw {
    WNDPROC original;
    DWORD lastRedraw;
    bool redrawDue;
};

void RedrawPane(HWND pane, PaneRedraw* state)
{
    if (state->redrawDue) {
        KillTimer(pane, kRedrawTimer);
        state->redrawDue = false;
    }
    state->lastRedraw = GetTickCount();
    RedrawWindow(pane, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
}

// One chunk at the end of the log, on this thread, with drawing off; the pane is drawn again at
// once when it has not been for a while, else when the interval is over, so the log follows the
// output live and a burst ends on screen.
LRESULT InsertChunkBatched(HWND pane, PaneRedraw* state, const char* text)
{
    CallWindowProcA(state->original, pane, WM_SETREDRAW, FALSE, 0);
    PaneConsoleRunner::InsertChunk(pane, text);
    CallWindowProcA(state->original, pane, WM_SETREDRAW, TRUE, 0);
    DWORD since = GetTickCount() - state->lastRedraw;
    if (since >= kRedrawIntervalMs) {
        RedrawPane(pane, state);
    } else if (!state->redrawDue) {
        state->redrawDue = true;
        SetTimer(pane, kRedrawTimer, kRedrawIntervalMs - since, nullptr);
    }
    return 1;
}

LRESULT CALLBACK PaneProc(HWND pane, UINT message, WPARAM wParam, LPARAM lParam)
{
    PaneRedraw* state = reinterpret_cast<PaneRedraw*>(GetWindowLongPtrA(pane, GWLP_USERDATA));
    WNDPROC original = state->original;
    if (message == OutputPane::ChunkMessage())
        return InsertChunkBatched(pane, state, reinterpret_cast<const char*>(lParam));
    if (message == WM_TIMER && wParam == kRedrawTimer) {
        RedrawPane(pane, state);
        return 0;
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(pane, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        SetWindowLongPtrA(pane, GWLP_USERDATA, 0);
        delete state;
    }
    return CallWindowProcA(original, pane, message, wParam, lParam);
}

// Without the state the pane simply stays as the system made it, and the worker inserts message
// by message.
void BatchRedraws(HWND pane)
{
    PaneRedraw* state = new (std::nothrow) PaneRedraw;
    if (!state)
        return;
    state->lastRedraw = GetTickCount() - kRedrawIntervalMs;
    state->redrawDue = false;
    state->original = nullptr;
    SetWindowLongPtrA(pane, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    WNDPROC original = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(pane, GWLP_WNDPROC));
    state->original = original;
    if (!original || !SetWindowLongPtrA(pane, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PaneProc))) {
        SetWindowLongPtrA(pane, GWLP_USERDATA, 0);
        delete state;
    }
}

} // namespace

HWND MainFrame::CreatePane(HWND window)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    RECT client;
    GetClientRect(window, &client);

    // The libraries stay loaded for the life of the process.
    if (!GetModuleHandleA("RICHED32.DLL"))
        LoadLibraryA("RICHED32.DLL");
    if (!GetModuleHandleA("RICHED20.DLL"))
        LoadLibraryA("RICHED20.DLL");

    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
    const DWORD style = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                        ES_AUTOVSCROLL | ES_AUTOHSCROLL;
    HWND pane = nullptr;
    const char* const classes[] = {"RichEdit", "Edit"};
    for (const char* className : classes) {
        pane = CreateWindowExA(WS_EX_CONTROLPARENT, className, "", style, 0, 0, client.right,
                               client.bottom, window,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_PANE)), instance,
                               nullptr);
        if (pane)
            break;
    }
    if (!pane) {
        seams::messageBox(window, "Failed to create the Edit control", windowTitle, MB_ICONERROR);
        return nullptr;
    }

    LOGFONTA description;
    static_assert(sizeof description == 60, "the narrow logical-font record");
    if (GetObjectA(GetStockObject(SYSTEM_FIXED_FONT), sizeof description, &description)) {
        HFONT font = CreateFontIndirectA(&description);  // lives as long as the pane
        if (font)
            SendMessageA(pane, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }

    outputPane.Attach(pane);
    BatchRedraws(pane);

    char version[32];
    char special[32];
    VersionInfo info;
    info.GetValue("FileVersion", version, sizeof version);
    info.GetValue("SpecialBuild", special, sizeof special);
    char banner[256];
    FormatBannerLine(banner, sizeof banner, windowTitle, special, version, VELQUETH_WEB_URL);
    outputPane.Append(banner, kColourGrey);
    return pane;
}
