// Reads the program's resources back through the system, as the application and Windows itself
// see them: strings, the menu, the toolbar strip, icons, cursor, the Properties dialog template
// and the version resource.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "res/BuildConstants.h"
#include "res/resource.h"
#include "support/TestSupport.h"

using testing_support::MenuItem;
using testing_support::ReadMenuItem;

namespace {

const WORD kUkEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK);

HMODULE Module() { return GetModuleHandleA(nullptr); }

// The raw bytes of one resource in UK English, or an empty span when there is none.
struct RawResource {
    const BYTE* data = nullptr;
    DWORD size = 0;
};

RawResource FindRaw(LPCSTR type, LPCSTR name) {
    RawResource raw;
    HRSRC info = FindResourceExA(Module(), type, name, kUkEnglish);
    if (!info) return raw;
    HGLOBAL loaded = LoadResource(Module(), info);
    if (!loaded) return raw;
    raw.data = static_cast<const BYTE*>(LockResource(loaded));
    raw.size = SizeofResource(Module(), info);
    return raw;
}

template <typename T>
T Read(const BYTE* p) {
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

// A bounded reader over a resource's bytes; running off the end marks it as failed.
class Reader {
public:
    explicit Reader(const RawResource& raw) : begin(raw.data), pos(raw.data), end(raw.data + raw.size) {}

    bool Ok() const { return ok; }
    size_t Offset() const { return static_cast<size_t>(pos - begin); }

    template <typename T>
    T Take() {
        if (!ok || static_cast<size_t>(end - pos) < sizeof(T)) {
            ok = false;
            return T();
        }
        T value = Read<T>(pos);
        pos += sizeof(T);
        return value;
    }

    void Skip(size_t bytes) {
        if (!ok || static_cast<size_t>(end - pos) < bytes) {
            ok = false;
            return;
        }
        pos += bytes;
    }

    void AlignDword() { Skip((4 - Offset() % 4) % 4); }

    // A NUL-terminated UTF-16 string of plain ASCII text, returned narrow.
    std::string WideText() {
        std::string text;
        for (WORD c = Take<WORD>(); ok && c != 0; c = Take<WORD>()) {
            text += c < 0x80 ? static_cast<char>(c) : '?';
        }
        return text;
    }

    // A "string or ordinal" field: 0xFFFF followed by the ordinal, or a string ("" for none).
    struct NameOrOrdinal {
        bool isOrdinal = false;
        WORD ordinal = 0;
        std::string text;
    };
    NameOrOrdinal Name() {
        NameOrOrdinal name;
        if (!ok || end - pos < 2) {
            ok = false;
            return name;
        }
        if (Read<WORD>(pos) == 0xFFFF) {
            Skip(2);
            name.isOrdinal = true;
            name.ordinal = Take<WORD>();
        } else {
            name.text = WideText();
        }
        return name;
    }

private:
    const BYTE* begin;
    const BYTE* pos;
    const BYTE* end;
    bool ok = true;
};

std::string LoadText(UINT id) {
    char buffer[128] = {};
    int length = LoadStringA(Module(), id, buffer, sizeof buffer);
    return std::string(buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

// ------------------------------------------------------------------------------------------------

struct StringCase {
    UINT id;
    const char* text;
};

const StringCase kStrings[] = {
    {IDS_APP_TITLE, "Velqueth"},
    {IDS_WINDOW_CLASS, "VELQUETH"},
    {ID_PROPERTIES, "Properties"},
    {ID_CUT, "Cuts the selection and moves it to the clipboard"},
    {ID_COPY, "Copies the selection to the clipboard"},
    {ID_PASTE, "Inserts the clipboard contents at the insertion point"},
    {ID_SELECT_ALL, "Selects the entire document"},
    {ID_UNDO, "Undo last action"},
    {ID_DELETE, "Delete the selection"},
    {ID_CLEAR_SCREEN, "Clear the screen"},
    {ID_ABOUT, "About"},
    {ID_USER_GUIDE, "User guide"},
    {ID_RUN_DEFAULT, "Execute the default option"},
};

TEST(ResourcesTest, StringsLoadWithTheirTexts) {
    for (const StringCase& s : kStrings) {
        EXPECT_EQ(LoadText(s.id), s.text) << "string " << s.id;
        // Strings live in blocks of sixteen; each block is UK English.
        EXPECT_NE(FindRaw(RT_STRING, MAKEINTRESOURCEA(s.id / 16 + 1)).data, nullptr)
            << "string block of " << s.id;
    }
}

TEST(ResourcesTest, CommandsWithoutButtonHaveNoString) {
    const UINT withoutTooltip[] = {ID_EXIT, ID_RUN_COMMAND_LINE, ID_RUN_SLOT_1, ID_RUN_SLOT_8};
    for (UINT id : withoutTooltip) {
        EXPECT_EQ(LoadText(id), "") << "string " << id;
    }
}

// ------------------------------------------------------------------------------------------------

struct MenuItemCase {
    const char* text;  // null for a separator
    UINT id;
};

struct PopupCase {
    const char* text;
    std::vector<MenuItemCase> items;
};

const std::vector<PopupCase>& ExpectedMenu() {
    static const std::vector<PopupCase> menu = {
        {"&File",
         {{"&Undo\tCtrl+Z", 32777},
          {nullptr, 0},
          {"Cu&t\tCtrl+X", 32772},
          {"&Copy\tCtrl+C", 32773},
          {"&Paste\tCtrl+V", 32774},
          {"&Delete\tDel", 32775},
          {nullptr, 0},
          {"Select A&ll\tCtrl+A", 32776},
          {"C&lear Screen\tCtrl+L", 32794},
          {nullptr, 0},
          {"P&roperties...\tCtrl+P", 32791},
          {"E&xit", 105}}},
        {"&Run", {{"&Default\tCtrl+D", 32778}}},
        {"&Help", {{"&About ...", 104}, {nullptr, 0}, {"&User Guide", 32793}}},
    };
    return menu;
}

TEST(ResourcesTest, MenuHasThePopupsAndItemsInOrder) {
    EXPECT_NE(FindRaw(RT_MENU, MAKEINTRESOURCEA(IDR_MAINMENU)).data, nullptr);
    HMENU menu = LoadMenuA(Module(), MAKEINTRESOURCEA(IDR_MAINMENU));
    ASSERT_NE(menu, nullptr);
    const std::vector<PopupCase>& expected = ExpectedMenu();
    ASSERT_EQ(GetMenuItemCount(menu), static_cast<int>(expected.size()));
    for (size_t p = 0; p < expected.size(); ++p) {
        MenuItem popup = ReadMenuItem(menu, static_cast<UINT>(p));
        ASSERT_TRUE(popup.ok) << "popup " << p;
        EXPECT_EQ(popup.text, expected[p].text);
        ASSERT_NE(popup.submenu, nullptr) << expected[p].text;
        const std::vector<MenuItemCase>& items = expected[p].items;
        ASSERT_EQ(GetMenuItemCount(popup.submenu), static_cast<int>(items.size()))
            << expected[p].text;
        for (size_t i = 0; i < items.size(); ++i) {
            MenuItem item = ReadMenuItem(popup.submenu, static_cast<UINT>(i));
            SCOPED_TRACE(std::string(expected[p].text) + " item " + std::to_string(i));
            ASSERT_TRUE(item.ok);
            EXPECT_EQ(item.submenu, nullptr);
            if (items[i].text == nullptr) {
                EXPECT_TRUE(item.separator);
                EXPECT_EQ(item.id, 0u);
            } else {
                EXPECT_FALSE(item.separator);
                EXPECT_EQ(item.text, items[i].text);
                EXPECT_EQ(item.id, items[i].id);
            }
        }
    }
    DestroyMenu(menu);
}

// ------------------------------------------------------------------------------------------------

TEST(ResourcesTest, ToolbarBitmapIsA16ColourStripOfFifteenButtons) {
    HBITMAP bitmap = static_cast<HBITMAP>(
        LoadImageA(Module(), MAKEINTRESOURCEA(IDB_TOOLBAR), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ASSERT_NE(bitmap, nullptr);
    DIBSECTION section = {};
    ASSERT_EQ(GetObjectA(bitmap, sizeof section, &section), static_cast<int>(sizeof section));
    EXPECT_EQ(section.dsBm.bmWidth, 240);
    EXPECT_EQ(section.dsBm.bmHeight, 16);
    EXPECT_EQ(section.dsBmih.biBitCount, 4);
    DeleteObject(bitmap);

    RawResource raw = FindRaw(RT_BITMAP, MAKEINTRESOURCEA(IDB_TOOLBAR));
    ASSERT_NE(raw.data, nullptr);
    ASSERT_GE(raw.size, sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER header = Read<BITMAPINFOHEADER>(raw.data);
    ASSERT_EQ(header.biSize, sizeof(BITMAPINFOHEADER));
    EXPECT_EQ(header.biWidth, 240);
    ASSERT_EQ(header.biHeight, 16);  // bottom-up rows
    EXPECT_EQ(header.biPlanes, 1);
    ASSERT_EQ(header.biBitCount, 4);
    ASSERT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
    const DWORD colours = header.biClrUsed ? header.biClrUsed : 16;
    ASSERT_LE(colours, 16u);
    const BYTE* palette = raw.data + header.biSize;
    const BYTE* bits = palette + colours * sizeof(RGBQUAD);
    const size_t stride = (240 * 4 + 31) / 32 * 4;
    ASSERT_LE(static_cast<size_t>(bits - raw.data) + stride * 16, raw.size);

    auto colourAt = [&](int x, int y) {
        const BYTE* row = bits + stride * static_cast<size_t>(15 - y);
        BYTE pair = row[x / 2];
        DWORD index = (x % 2 == 0) ? pair >> 4 : pair & 0x0F;
        EXPECT_LT(index, colours);
        RGBQUAD q = Read<RGBQUAD>(palette + (index % colours) * sizeof(RGBQUAD));
        return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
    };
    const COLORREF ground = RGB(192, 192, 192);
    for (int image = 0; image < 15; ++image) {
        SCOPED_TRACE("image " + std::to_string(image));
        const int left = 16 * image;
        // The corners show the light grey ground that the toolbar turns into its face colour.
        EXPECT_EQ(colourAt(left, 0), ground);
        EXPECT_EQ(colourAt(left + 15, 0), ground);
        EXPECT_EQ(colourAt(left, 15), ground);
        EXPECT_EQ(colourAt(left + 15, 15), ground);
        // And every image holds a picture.
        int drawn = 0;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                if (colourAt(left + x, y) != ground) ++drawn;
            }
        }
        EXPECT_GE(drawn, 20);
    }
}

// ------------------------------------------------------------------------------------------------

#pragma pack(push, 2)
struct GroupHeader {
    WORD reserved;
    WORD type;  // 1 icons, 2 cursors
    WORD count;
};
struct GroupIconEntry {
    BYTE width;
    BYTE height;
    BYTE colourCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytesInRes;
    WORD id;
};
struct GroupCursorEntry {
    WORD width;
    WORD height;  // both halves: colour and mask
    WORD planes;
    WORD bitCount;
    DWORD bytesInRes;
    WORD id;
};
#pragma pack(pop)
static_assert(sizeof(GroupIconEntry) == 14, "icon group entry layout");
static_assert(sizeof(GroupCursorEntry) == 14, "cursor group entry layout");

TEST(ResourcesTest, IconGroupsHold32And16Pixel16ColourImages) {
    const LPCSTR names[] = {MAKEINTRESOURCEA(IDI_VELQUETH), ICON_APPLICATION_NAME};
    for (LPCSTR name : names) {
        SCOPED_TRACE(IS_INTRESOURCE(name) ? std::string("icon 107") : std::string(name));
        EXPECT_NE(LoadIconA(Module(), name), nullptr);

        RawResource group = FindRaw(RT_GROUP_ICON, name);
        ASSERT_NE(group.data, nullptr);
        ASSERT_GE(group.size, sizeof(GroupHeader));
        GroupHeader header = Read<GroupHeader>(group.data);
        EXPECT_EQ(header.type, 1);
        ASSERT_EQ(header.count, 2);
        ASSERT_GE(group.size, sizeof(GroupHeader) + 2 * sizeof(GroupIconEntry));
        const int sizes[] = {32, 16};
        for (int i = 0; i < 2; ++i) {
            GroupIconEntry entry =
                Read<GroupIconEntry>(group.data + sizeof(GroupHeader) + i * sizeof(GroupIconEntry));
            EXPECT_EQ(entry.width, sizes[i]);
            EXPECT_EQ(entry.height, sizes[i]);
            EXPECT_EQ(entry.colourCount, 16);
            EXPECT_EQ(entry.bitCount, 4);
            RawResource image = FindRaw(RT_ICON, MAKEINTRESOURCEA(entry.id));
            ASSERT_NE(image.data, nullptr);
            ASSERT_GE(image.size, sizeof(BITMAPINFOHEADER));
            BITMAPINFOHEADER bmi = Read<BITMAPINFOHEADER>(image.data);
            EXPECT_EQ(bmi.biWidth, sizes[i]);
            EXPECT_EQ(bmi.biHeight, 2 * sizes[i]);  // colour image and mask
            EXPECT_EQ(bmi.biBitCount, 4);
        }

        // The system picks the matching image for each size.
        for (int size : sizes) {
            HICON icon = static_cast<HICON>(LoadImageA(Module(), name, IMAGE_ICON, size, size, 0));
            ASSERT_NE(icon, nullptr) << size;
            ICONINFO info = {};
            ASSERT_TRUE(GetIconInfo(icon, &info));
            EXPECT_TRUE(info.fIcon);
            BITMAP colour = {};
            ASSERT_NE(info.hbmColor, nullptr);
            GetObjectA(info.hbmColor, sizeof colour, &colour);
            EXPECT_EQ(colour.bmWidth, size);
            EXPECT_EQ(colour.bmHeight, size);
            DeleteObject(info.hbmColor);
            DeleteObject(info.hbmMask);
            DestroyIcon(icon);
        }
    }
}

TEST(ResourcesTest, HandCursorIsMonochrome32PixelsWithHotSpotTopLeft) {
    HCURSOR cursor = LoadCursorA(Module(), MAKEINTRESOURCEA(IDC_HAND_CURSOR));
    ASSERT_NE(cursor, nullptr);
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(cursor, &info));
    EXPECT_FALSE(info.fIcon);
    EXPECT_EQ(info.xHotspot, 0u);
    EXPECT_EQ(info.yHotspot, 0u);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);

    RawResource group = FindRaw(RT_GROUP_CURSOR, MAKEINTRESOURCEA(IDC_HAND_CURSOR));
    ASSERT_NE(group.data, nullptr);
    ASSERT_GE(group.size, sizeof(GroupHeader) + sizeof(GroupCursorEntry));
    GroupHeader header = Read<GroupHeader>(group.data);
    EXPECT_EQ(header.type, 2);
    ASSERT_EQ(header.count, 1);
    GroupCursorEntry entry = Read<GroupCursorEntry>(group.data + sizeof(GroupHeader));
    EXPECT_EQ(entry.width, 32);
    EXPECT_EQ(entry.height, 64);
    EXPECT_EQ(entry.bitCount, 1);

    // A cursor image starts with its hot spot, then the bitmap header.
    RawResource image = FindRaw(RT_CURSOR, MAKEINTRESOURCEA(entry.id));
    ASSERT_NE(image.data, nullptr);
    ASSERT_GE(image.size, 4 + sizeof(BITMAPINFOHEADER));
    EXPECT_EQ(Read<WORD>(image.data), 0);
    EXPECT_EQ(Read<WORD>(image.data + 2), 0);
    BITMAPINFOHEADER bmi = Read<BITMAPINFOHEADER>(image.data + 4);
    EXPECT_EQ(bmi.biWidth, 32);
    EXPECT_EQ(bmi.biHeight, 64);
    EXPECT_EQ(bmi.biBitCount, 1);
}

// ------------------------------------------------------------------------------------------------

const WORD kButton = 0x80, kEdit = 0x81, kStatic = 0x82;

struct DialogItem {
    int id;
    WORD cls;
    std::string text;
    short x, y, cx, cy;
    DWORD style;
};

// The Properties dialog's controls in template (tab) order.
std::vector<DialogItem> ExpectedPropertiesItems() {
    std::vector<DialogItem> items;
    for (int k = 0; k < 8; ++k) {
        const short row = static_cast<short>(16 * k);
        items.push_back({1000 + 3 * k, kEdit, "", 20, static_cast<short>(23 + row), 166, 14, 0x50810080});
        items.push_back({1001 + 3 * k, kButton, ". . .", 191, static_cast<short>(23 + row), 13, 14, 0x50010000});
        items.push_back({1002 + 3 * k, kEdit, "", 210, static_cast<short>(24 + row), 96, 14, 0x50810080});
    }
    for (int k = 0; k < 8; ++k) {
        items.push_back({1024 + k, kButton, "", 310, static_cast<short>(28 + 16 * k), 10, 10,
                         k == 0 ? 0x50030009u : 0x50010009u});
    }
    items.push_back({IDOK, kButton, "OK", 110, 169, 50, 14, 0x50030001});
    items.push_back({IDCANCEL, kButton, "Cancel", 176, 169, 50, 14, 0x50010000});
    const short numberTops[] = {27, 43, 59, 75, 91, 107, 124, 140};
    for (int k = 0; k < 8; ++k) {
        items.push_back({-1, kStatic, std::to_string(k + 1) + ".", 7, numberTops[k], 8, 8, 0x50020002});
    }
    items.push_back({-1, kStatic, "Program path", 19, 11, 42, 8, 0x50020000});
    items.push_back({-1, kStatic, "Arguments", 209, 11, 33, 8, 0x50020000});
    items.push_back({-1, kStatic, "Default", 309, 11, 22, 8, 0x50020000});
    items.push_back({IDC_DISPLAY_PROGRAM, kButton, "Display DOS Program", 21, 154, 83, 10, 0x50010003});
    return items;
}

TEST(ResourcesTest, PropertiesTemplateMatchesTheLayout) {
    RawResource raw = FindRaw(RT_DIALOG, MAKEINTRESOURCEA(IDD_PROPERTIES));
    ASSERT_NE(raw.data, nullptr);
    Reader r(raw);
    EXPECT_EQ(r.Take<WORD>(), 1);        // dlgVer
    EXPECT_EQ(r.Take<WORD>(), 0xFFFF);   // signature of an extended template
    EXPECT_EQ(r.Take<DWORD>(), 0u);      // help id
    EXPECT_EQ(r.Take<DWORD>(), 0u);      // extended style
    const DWORD style = r.Take<DWORD>();
    EXPECT_EQ(style, 0x80C800C0u);
    EXPECT_EQ(style, static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT));
    const WORD count = r.Take<WORD>();
    EXPECT_EQ(r.Take<short>(), 0);
    EXPECT_EQ(r.Take<short>(), 0);
    EXPECT_EQ(r.Take<short>(), 337);
    EXPECT_EQ(r.Take<short>(), 193);
    Reader::NameOrOrdinal menu = r.Name();
    EXPECT_TRUE(!menu.isOrdinal && menu.text.empty());
    Reader::NameOrOrdinal windowClass = r.Name();
    EXPECT_TRUE(!windowClass.isOrdinal && windowClass.text.empty());
    EXPECT_EQ(r.WideText(), "Properties");
    EXPECT_EQ(r.Take<WORD>(), 8);    // points
    EXPECT_EQ(r.Take<WORD>(), 0);    // weight
    EXPECT_EQ(r.Take<BYTE>(), 0);    // italic
    EXPECT_EQ(r.Take<BYTE>(), DEFAULT_CHARSET);  // character set: the default, 1
    EXPECT_EQ(r.WideText(), "MS Sans Serif");
    ASSERT_TRUE(r.Ok());

    const std::vector<DialogItem> expected = ExpectedPropertiesItems();
    ASSERT_EQ(expected.size(), 46u);
    ASSERT_EQ(count, expected.size());
    for (const DialogItem& want : expected) {
        SCOPED_TRACE("control " + std::to_string(want.id) + " \"" + want.text + "\"");
        r.AlignDword();
        EXPECT_EQ(r.Take<DWORD>(), 0u);  // help id
        EXPECT_EQ(r.Take<DWORD>(), 0u);  // extended style
        EXPECT_EQ(r.Take<DWORD>(), want.style);
        EXPECT_EQ(r.Take<short>(), want.x);
        EXPECT_EQ(r.Take<short>(), want.y);
        EXPECT_EQ(r.Take<short>(), want.cx);
        EXPECT_EQ(r.Take<short>(), want.cy);
        EXPECT_EQ(static_cast<int>(r.Take<DWORD>()), want.id);
        Reader::NameOrOrdinal cls = r.Name();
        EXPECT_TRUE(cls.isOrdinal) << cls.text;
        EXPECT_EQ(cls.ordinal, want.cls);
        Reader::NameOrOrdinal text = r.Name();
        EXPECT_FALSE(text.isOrdinal);
        EXPECT_EQ(text.text, want.text);
        const WORD extra = r.Take<WORD>();
        EXPECT_EQ(extra, 0);
        r.Skip(extra);
        ASSERT_TRUE(r.Ok());
    }
    r.AlignDword();
    EXPECT_EQ(r.Offset(), static_cast<size_t>(raw.size));
}

INT_PTR CALLBACK QuietDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

TEST(ResourcesTest, PropertiesTemplateCreatesItsControlsInTabOrder) {
    HWND dialog = CreateDialogParamA(Module(), MAKEINTRESOURCEA(IDD_PROPERTIES), nullptr,
                                     QuietDialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    char caption[64] = {};
    GetWindowTextA(dialog, caption, sizeof caption);
    EXPECT_STREQ(caption, "Properties");

    const std::vector<DialogItem> expected = ExpectedPropertiesItems();
    size_t index = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT), ++index) {
        ASSERT_LT(index, expected.size());
        const DialogItem& want = expected[index];
        SCOPED_TRACE("control " + std::to_string(index));
        EXPECT_EQ(GetDlgCtrlID(child), want.id);
        char cls[32] = {};
        GetClassNameA(child, cls, sizeof cls);
        const char* wantClass = want.cls == kEdit ? "Edit" : want.cls == kButton ? "Button" : "Static";
        EXPECT_EQ(lstrcmpiA(cls, wantClass), 0) << cls;
    }
    EXPECT_EQ(index, expected.size());

    // Each browse button follows its path field in the tab order, and the radio buttons form one
    // group that starts at 1024.
    for (int k = 0; k < 8; ++k) {
        HWND browse = GetDlgItem(dialog, 1001 + 3 * k);
        EXPECT_EQ(GetNextDlgTabItem(dialog, browse, TRUE), GetDlgItem(dialog, 1000 + 3 * k));
    }
    EXPECT_EQ(GetNextDlgGroupItem(dialog, GetDlgItem(dialog, 1031), FALSE), GetDlgItem(dialog, 1024));
    DestroyWindow(dialog);
}

// ------------------------------------------------------------------------------------------------

class VersionBlock {
public:
    VersionBlock() {
        char path[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        DWORD handle = 0;
        DWORD size = GetFileVersionInfoSizeA(path, &handle);
        if (size == 0) return;
        data.resize(size);
        if (!GetFileVersionInfoA(path, 0, size, data.data())) data.clear();
    }
    bool Loaded() const { return !data.empty(); }
    const void* Query(const std::string& subBlock, UINT* length) {
        void* value = nullptr;
        *length = 0;
        if (!VerQueryValueA(data.data(), subBlock.c_str(), &value, length)) return nullptr;
        return value;
    }

private:
    std::vector<BYTE> data;
};

TEST(ResourcesTest, VersionResourceFixedPart) {
    EXPECT_NE(FindRaw(RT_VERSION, MAKEINTRESOURCEA(VS_VERSION_INFO)).data, nullptr);
    VersionBlock block;
    ASSERT_TRUE(block.Loaded());
    UINT length = 0;
    auto fixed = static_cast<const VS_FIXEDFILEINFO*>(block.Query("\\", &length));
    ASSERT_NE(fixed, nullptr);
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    EXPECT_EQ(fixed->dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, 0x40004u);
    EXPECT_EQ(fixed->dwFileType, 1u);
    EXPECT_EQ(fixed->dwFileSubtype, 0u);

    auto translation = static_cast<const WORD*>(block.Query("\\VarFileInfo\\Translation", &length));
    ASSERT_NE(translation, nullptr);
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0809);
    EXPECT_EQ(translation[1], 0x04B0);
}

TEST(ResourcesTest, VersionStringsUnderUkEnglishUnicode) {
    struct VersionCase {
        const char* name;
        const char* value;
    };
    const VersionCase cases[] = {
        {"Comments", "Web site:- " VELQUETH_WEB_URL},
        {"CompanyName", "Hestrel Ltd."},
        {"FileDescription", "Velqueth"},
        {"FileVersion", "1.0.0.0"},
        {"InternalName", "Velqueth"},
        {"LegalCopyright", VELQUETH_COPYRIGHT},
        {"OriginalFilename", "Velqueth.exe"},
        {"ProductName", "Velqueth"},
        {"ProductVersion", "1,0,0,0"},
        {"SpecialBuild", " "},
    };
    VersionBlock block;
    ASSERT_TRUE(block.Loaded());
    for (const VersionCase& c : cases) {
        UINT length = 0;
        auto value = static_cast<const char*>(
            block.Query(std::string("\\StringFileInfo\\080904B0\\") + c.name, &length));
        ASSERT_NE(value, nullptr) << c.name;
        EXPECT_STREQ(value, c.value) << c.name;
    }

    // The copyright line is read into a 32-character buffer and names the company.
    UINT length = 0;
    auto copyright = static_cast<const char*>(
        block.Query("\\StringFileInfo\\080904B0\\LegalCopyright", &length));
    ASSERT_NE(copyright, nullptr);
    EXPECT_LE(std::strlen(copyright), 31u);
    EXPECT_NE(std::strstr(copyright, "Hestrel Ltd."), nullptr);
}

// Every resource of the program is in UK English and in no other language.
BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR found) {
    reinterpret_cast<std::vector<WORD>*>(found)->push_back(language);
    return TRUE;
}

BOOL CALLBACK CheckNameLanguages(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR checked) {
    std::vector<WORD> languages;
    EnumResourceLanguagesA(module, type, name, CollectLanguage, reinterpret_cast<LONG_PTR>(&languages));
    EXPECT_EQ(languages, std::vector<WORD>{kUkEnglish})
        << "type " << reinterpret_cast<ULONG_PTR>(type) << " name "
        << (IS_INTRESOURCE(name) ? std::to_string(reinterpret_cast<ULONG_PTR>(name)) : std::string(name));
    ++*reinterpret_cast<int*>(checked);
    return TRUE;
}

TEST(ResourcesTest, EveryResourceIsUkEnglish) {
    const LPCSTR types[] = {RT_STRING, RT_MENU, RT_DIALOG, RT_BITMAP, RT_ICON,
                            RT_GROUP_ICON, RT_CURSOR, RT_GROUP_CURSOR, RT_VERSION};
    for (LPCSTR type : types) {
        int checked = 0;
        EnumResourceNamesA(Module(), type, CheckNameLanguages, reinterpret_cast<LONG_PTR>(&checked));
        EXPECT_GT(checked, 0) << "type " << reinterpret_cast<ULONG_PTR>(type);
    }
}

}  // namespace

// The built program's manifest, read back as Windows reads it when it starts the program: the
// resource of the file itself, turned into an activation context by the system's own parser.
TEST(ResourcesTest, ProgramCarriesItsManifest) {
    const std::string program = testing_support::BesideExe("Velqueth.exe");
    HMODULE image = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, image) << program;
    HRSRC info = FindResourceA(image, CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST);
    ASSERT_NE(nullptr, info);
    std::string text(static_cast<const char*>(LockResource(LoadResource(image, info))),
                     SizeofResource(image, info));
    FreeLibrary(image);
    ACTCTXA request = {sizeof request, ACTCTX_FLAG_RESOURCE_NAME_VALID, program.c_str()};
    request.lpResourceName = CREATEPROCESS_MANIFEST_RESOURCE_ID;
    HANDLE context = CreateActCtxA(&request);
    ASSERT_NE(INVALID_HANDLE_VALUE, context) << GetLastError();
    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level = {};
    QueryActCtxW(0, context, nullptr, RunlevelInformationInActivationContext, &level, sizeof level,
                 nullptr);
    EXPECT_EQ(ACTCTX_RUN_LEVEL_AS_INVOKER, level.RunLevel);
    DWORD systems[64] = {};  // the count, then records whose size has grown between versions
    QueryActCtxW(0, context, nullptr, CompatibilityInformationInActivationContext, systems,
                 sizeof systems, nullptr);
    EXPECT_EQ(4u, systems[0]);
    ReleaseActCtx(context);

    text.erase(std::remove_if(text.begin(), text.end(), [](unsigned char c) { return std::isspace(c); }),
               text.end());
    for (const char* part :
         {"name=\"Microsoft.Windows.Common-Controls\"version=\"6.0.0.0\"",
          "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/><!--Windows7", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
          "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
          "WindowsSettings\">true</dpiAware>", "WindowsSettings\">system</dpiAwareness>"})
        EXPECT_NE(std::string::npos, text.find(part)) << part;
}
