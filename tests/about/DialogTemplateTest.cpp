// The dialog template builder: the bytes it writes, its growth, its behaviour when memory runs
// out, and a dialog really created from one of its templates.
#include <gtest/gtest.h>

#include <windows.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "about/DialogTemplate.h"
#include "support/TestSupport.h"

namespace {

// Exposes the byte-level operations so that growth can be driven piece by piece.
class OpenTemplate : public DialogTemplate {
public:
    using DialogTemplate::DialogTemplate;
    using DialogTemplate::AppendBytes;
};

WORD WordAt(const DialogTemplate& t, int offset)
{
    const BYTE* b = reinterpret_cast<const BYTE*>(t.Data());
    return static_cast<WORD>(b[offset] | (b[offset + 1] << 8));
}

DWORD DwordAt(const DialogTemplate& t, int offset)
{
    return WordAt(t, offset) | (static_cast<DWORD>(WordAt(t, offset + 2)) << 16);
}

// UTF-16 text at offset up to its terminator; offset moves past the terminator.
std::wstring TextAt(const DialogTemplate& t, int* offset)
{
    std::wstring text;
    for (;;) {
        WORD unit = WordAt(t, *offset);
        *offset += 2;
        if (unit == 0)
            return text;
        text += static_cast<wchar_t>(unit);
    }
}

struct ParsedItem {
    int offset;
    DWORD style, extendedStyle;
    short x, y, width, height;
    WORD id, classMarker, classCode;
    std::wstring text;
    WORD creationData;
};

// Walks the items behind the header the way the dialog manager does.
std::vector<ParsedItem> ParseItems(const DialogTemplate& t)
{
    int offset = 18;
    DWORD style = DwordAt(t, 0);
    offset += 4;  // menu and class words
    TextAt(t, &offset);
    if (style & DS_SETFONT) {
        offset += 2;
        TextAt(t, &offset);
    }
    std::vector<ParsedItem> items;
    for (int i = 0; i < WordAt(t, 8); ++i) {
        offset = (offset + 3) & ~3;
        ParsedItem item;
        item.offset = offset;
        item.style = DwordAt(t, offset);
        item.extendedStyle = DwordAt(t, offset + 4);
        item.x = static_cast<short>(WordAt(t, offset + 8));
        item.y = static_cast<short>(WordAt(t, offset + 10));
        item.width = static_cast<short>(WordAt(t, offset + 12));
        item.height = static_cast<short>(WordAt(t, offset + 14));
        item.id = WordAt(t, offset + 16);
        item.classMarker = WordAt(t, offset + 18);
        item.classCode = WordAt(t, offset + 20);
        offset += 22;
        item.text = TextAt(t, &offset);
        item.creationData = WordAt(t, offset);
        offset += 2;
        items.push_back(item);
    }
    EXPECT_EQ(offset, t.Length()) << "the template ends with the last item's creation data";
    return items;
}

// Allocation hook: counts the requests and refuses the one numbered failAt (1-based; 0 never).
std::vector<SIZE_T> requested;
int failAt = 0;

void* CountingAllocate(SIZE_T bytes)
{
    requested.push_back(bytes);
    if (failAt != 0 && static_cast<int>(requested.size()) == failAt)
        return nullptr;
    return DialogTemplate::DefaultAllocate(bytes);
}

class AllocationHook {
public:
    explicit AllocationHook(int failOn)
    {
        requested.clear();
        failAt = failOn;
        DialogTemplate::allocate = CountingAllocate;
    }
    ~AllocationHook() { DialogTemplate::allocate = DialogTemplate::DefaultAllocate; }
};

} // namespace

TEST(DialogTemplate, HeaderCaptionAndFont)
{
    struct Case {
        const char* caption;
        DWORD style;
        int x, y, width, height;
        const char* font;
        int points;
        DWORD storedStyle;
    };
    const Case cases[] = {
        {"About", 0x84C81080, 0, 0, 196, 106, "MS Sans Serif", 8, 0x84C810C0},
        {"About", 0x84C81080, 0, 0, 196, 106, nullptr, 0, 0x84C81080},
        {"", WS_POPUP, -5, 7, 30, 40, "Tahoma", 11, WS_POPUP | DS_SETFONT},
        {"Probe", WS_POPUP | DS_SETFONT, 1, 2, 3, 4, nullptr, 0, WS_POPUP | DS_SETFONT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.caption) + " / " + (c.font ? c.font : "no font"));
        DialogTemplate t(c.caption, c.style, c.x, c.y, c.width, c.height, c.font, c.points);
        ASSERT_NE(t.Data(), nullptr);
        EXPECT_EQ(DwordAt(t, 0), c.storedStyle);
        EXPECT_EQ(DwordAt(t, 4), 0u);
        EXPECT_EQ(WordAt(t, 8), 0);
        EXPECT_EQ(static_cast<short>(WordAt(t, 10)), c.x);
        EXPECT_EQ(static_cast<short>(WordAt(t, 12)), c.y);
        EXPECT_EQ(static_cast<short>(WordAt(t, 14)), c.width);
        EXPECT_EQ(static_cast<short>(WordAt(t, 16)), c.height);
        EXPECT_EQ(WordAt(t, 18), 0) << "no menu";
        EXPECT_EQ(WordAt(t, 20), 0) << "the system's dialog class";
        int offset = 22;
        std::string caption(c.caption);
        EXPECT_EQ(TextAt(t, &offset), std::wstring(caption.begin(), caption.end()));
        if (c.font) {
            EXPECT_EQ(WordAt(t, offset), c.points);
            offset += 2;
            std::string face(c.font);
            EXPECT_EQ(TextAt(t, &offset), std::wstring(face.begin(), face.end()));
        }
        EXPECT_EQ(offset, t.Length()) << "nothing else before the first item";
    }
}

TEST(DialogTemplate, ItemsAlignedCountedAndComplete)
{
    struct Item {
        char kind;  // 'b'utton, 'e'dit, 's'tatic
        const char* text;
        WORD id;
    };
    const Item all[] = {{'b', "OK", 1},         {'s', "", 0xFFFF},  {'e', "Edit", 44},
                        {'s', "Version", 42},   {'e', "", 45},      {'b', "A longer caption", 9},
                        {'s', "x", 7}};
    // Captions of odd and even length move the items across every alignment case.
    const char* captions[] = {"About", "Abou", "", "Dialog with a caption"};
    for (const char* caption : captions) {
        for (int n = 0; n <= 7; ++n) {
            SCOPED_TRACE(std::string("caption '") + caption + "', items " + std::to_string(n));
            DialogTemplate t(caption, WS_POPUP, 0, 0, 100, 50, (n % 2) ? "MS Sans Serif" : nullptr,
                             8);
            for (int i = 0; i < n; ++i) {
                const Item& s = all[i];
                DWORD style = WS_VISIBLE | static_cast<DWORD>(i);
                DWORD extended = static_cast<DWORD>(i) << 8;
                if (s.kind == 'b')
                    t.AddButton(s.text, style, extended, i, -i, 10 + i, 20 + i, s.id);
                else if (s.kind == 'e')
                    t.AddEdit(s.text, style, extended, i, -i, 10 + i, 20 + i, s.id);
                else
                    t.AddStatic(s.text, style, extended, i, -i, 10 + i, 20 + i, s.id);
            }
            ASSERT_NE(t.Data(), nullptr);
            EXPECT_EQ(WordAt(t, 8), n);
            std::vector<ParsedItem> items = ParseItems(t);
            ASSERT_EQ(static_cast<int>(items.size()), n);
            for (int i = 0; i < n; ++i) {
                const Item& s = all[i];
                const ParsedItem& item = items[i];
                EXPECT_EQ(item.offset % 4, 0) << "item " << i;
                EXPECT_EQ(item.style, WS_VISIBLE | static_cast<DWORD>(i));
                EXPECT_EQ(item.extendedStyle, static_cast<DWORD>(i) << 8);
                EXPECT_EQ(item.x, i);
                EXPECT_EQ(item.y, -i);
                EXPECT_EQ(item.width, 10 + i);
                EXPECT_EQ(item.height, 20 + i);
                EXPECT_EQ(item.id, s.id);
                EXPECT_EQ(item.classMarker, 0xFFFF);
                EXPECT_EQ(item.classCode, s.kind == 'b' ? 0x80 : s.kind == 'e' ? 0x81 : 0x82);
                std::string text(s.text);
                EXPECT_EQ(item.text, std::wstring(text.begin(), text.end()));
                EXPECT_EQ(item.creationData, 0);
            }
        }
    }
}

TEST(DialogTemplate, EmptyTextIsOneZeroUnit)
{
    DialogTemplate t("", WS_POPUP, 0, 0, 10, 10, nullptr, 0);
    int before = t.Length();
    EXPECT_EQ(before, 18 + 2 + 2 + 2) << "an empty caption is one zero unit";
    t.AddStatic("", WS_VISIBLE, 0, 0, 0, 1, 1, 5);
    // aligned start (24 is already a multiple of 4), 18-byte header, class pair, one zero unit,
    // creation data
    EXPECT_EQ(t.Length(), 24 + 18 + 4 + 2 + 2);
    EXPECT_EQ(WordAt(t, 24 + 22), 0);
}

TEST(DialogTemplate, GrowthAddsTwiceThePieceThatDidNotFit)
{
    {
        AllocationHook hook(0);
        DialogTemplate t("", WS_POPUP, 0, 0, 10, 10, nullptr, 0);
        // header (18), menu word grows to 18 + 2*2, class word fits, the caption's conversion
        // buffer (one unit), then its two bytes grow 22 to 22 + 2*2.
        std::vector<SIZE_T> expected = {18, 22, 2, 26};
        EXPECT_EQ(requested, expected);
        EXPECT_EQ(t.Capacity(), 26);
        EXPECT_EQ(t.Length(), 24);
    }
    const int pieces[] = {2, 6, 18, 40};
    for (int piece : pieces) {
        SCOPED_TRACE("piece of " + std::to_string(piece) + " bytes");
        OpenTemplate t("About", WS_POPUP, 0, 0, 10, 10, "MS Sans Serif", 8);
        BYTE bytes[64] = {};
        while (t.Length() != t.Capacity()) {
            int room = t.Capacity() - t.Length();
            t.AppendBytes(bytes, room < 2 ? room : 2);
        }
        int full = t.Capacity();
        t.AppendBytes(bytes, piece);
        EXPECT_EQ(t.Capacity(), full + 2 * piece);
        EXPECT_EQ(t.Length(), full + piece);
    }
}

TEST(DialogTemplate, NonAsciiTextGoesThroughTheAnsiCodePage)
{
    const char text[] = "caf\xE9 \x80 \xC4pfel";
    DialogTemplate t(text, WS_POPUP, 0, 0, 10, 10, nullptr, 0);
    t.AddStatic(text, WS_VISIBLE, 0, 0, 0, 10, 10, 1);
    int offset = 22;
    std::wstring caption = TextAt(t, &offset);
    std::vector<ParsedItem> items = ParseItems(t);
    ASSERT_EQ(items.size(), 1u);
    if (GetACP() == 1252) {
        EXPECT_EQ(caption, L"caf\u00E9 \u20AC \u00C4pfel");
    } else {
        wchar_t wide[64];
        int n = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 64);
        ASSERT_GT(n, 0);
        EXPECT_EQ(caption, std::wstring(wide));
    }
    EXPECT_EQ(items[0].text, caption);
}

TEST(DialogTemplate, FailedAllocationDropsTheWholeTemplate)
{
    auto build = [](DialogTemplate& t) {
        t.AddButton("OK", WS_VISIBLE, 0, 1, 2, 3, 4, IDOK);
        t.AddEdit("Some text", WS_VISIBLE, 0, 1, 2, 3, 4, 10);
        t.AddStatic("Label", WS_VISIBLE, 0, 1, 2, 3, 4, 11);
    };
    int total;
    {
        AllocationHook hook(0);
        DialogTemplate t("Caption", WS_POPUP, 0, 0, 10, 10, "MS Sans Serif", 8);
        build(t);
        total = static_cast<int>(requested.size());
        ASSERT_NE(t.Data(), nullptr);
    }
    ASSERT_GT(total, 6) << "header, growths and the conversion buffers";
    for (int failOn = 1; failOn <= total; ++failOn) {
        SCOPED_TRACE("allocation " + std::to_string(failOn) + " of " + std::to_string(total) +
                     " fails");
        AllocationHook hook(failOn);
        DialogTemplate t("Caption", WS_POPUP, 0, 0, 10, 10, "MS Sans Serif", 8);
        build(t);
        EXPECT_EQ(t.Data(), nullptr);
        EXPECT_EQ(t.Length(), 0);
        EXPECT_EQ(t.Capacity(), 0);
        EXPECT_EQ(static_cast<int>(requested.size()), failOn)
            << "nothing is allocated after the failure";
    }
}

TEST(DialogTemplate, PieceTooLargeForTheCapacityDropsTheTemplate)
{
    OpenTemplate t("About", WS_POPUP, 0, 0, 10, 10, nullptr, 0);
    BYTE byte = 0;
    t.AppendBytes(&byte, INT_MAX / 2);  // capacity + twice that would overflow
    EXPECT_EQ(t.Data(), nullptr);
    t.AddButton("OK", WS_VISIBLE, 0, 0, 0, 1, 1, 1);
    EXPECT_EQ(t.Data(), nullptr);
    EXPECT_EQ(t.Length(), 0);
}

namespace {

struct ProbeResult {
    bool initialised = false;
    std::string caption;
    std::string classes[3];
    std::string texts[3];
};

INT_PTR CALLBACK ProbeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        ProbeResult* result = reinterpret_cast<ProbeResult*>(lParam);
        result->initialised = true;
        char text[128];
        GetWindowTextA(dialog, text, sizeof text);
        result->caption = text;
        const int ids[3] = {IDOK, 100, 101};
        for (int i = 0; i < 3; ++i) {
            HWND control = GetDlgItem(dialog, ids[i]);
            if (!control)
                continue;
            GetClassNameA(control, text, sizeof text);
            result->classes[i] = text;
            GetWindowTextA(control, text, sizeof text);
            result->texts[i] = text;
        }
        // Closed from the message loop, once the dialog runs.
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        EndDialog(dialog, 77);
        return TRUE;
    }
    return FALSE;
}

} // namespace

TEST(DialogTemplate, DialogBuiltFromItOpensWithItsControls)
{
    DialogTemplate t("Probe dialog", WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 0, 0,
                     120, 60, "MS Sans Serif", 8);
    t.AddButton("OK", WS_VISIBLE, 0, 35, 40, 50, 14, IDOK);
    t.AddEdit("hello", WS_VISIBLE | WS_BORDER, 0, 5, 5, 80, 12, 100);
    t.AddStatic("Label", WS_VISIBLE, 0, 5, 22, 80, 8, 101);
    ASSERT_NE(t.Data(), nullptr);

    ProbeResult result;
    INT_PTR ended = DialogBoxIndirectParamA(GetModuleHandleA(nullptr), t.Data(), nullptr,
                                            ProbeDialogProc, reinterpret_cast<LPARAM>(&result));
    EXPECT_EQ(ended, 77);
    EXPECT_TRUE(result.initialised);
    EXPECT_EQ(result.caption, "Probe dialog");
    EXPECT_EQ(lstrcmpiA(result.classes[0].c_str(), "Button"), 0) << result.classes[0];
    EXPECT_EQ(lstrcmpiA(result.classes[1].c_str(), "Edit"), 0) << result.classes[1];
    EXPECT_EQ(lstrcmpiA(result.classes[2].c_str(), "Static"), 0) << result.classes[2];
    EXPECT_EQ(result.texts[0], "OK");
    EXPECT_EQ(result.texts[1], "hello");
    EXPECT_EQ(result.texts[2], "Label");
}
