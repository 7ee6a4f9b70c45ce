#include "about/DialogTemplate.h"

#include <climits>
#include <cstring>

namespace {

const int kHeaderSize = sizeof(DLGTEMPLATE);
const int kItemHeaderSize = sizeof(DLGITEMTEMPLATE);
static_assert(sizeof(DLGTEMPLATE) == 18 && sizeof(DLGITEMTEMPLATE) == 18,
              "both headers are packed on 16-bit boundaries");
const int kItemCountOffset = 8;
const DWORD kSetFont = 0x40;   // DS_SETFONT

static_assert(sizeof(wchar_t) == 2, "templates hold UTF-16 code units");

void PutWord(BYTE* at, WORD value)
{
    at[0] = static_cast<BYTE>(value & 0xFF);
    at[1] = static_cast<BYTE>(value >> 8);
}

void PutDword(BYTE* at, DWORD value)
{
    PutWord(at, static_cast<WORD>(value & 0xFFFF));
    PutWord(at + 2, static_cast<WORD>(value >> 16));
}

} // namespace

DialogTemplate::AllocateFn DialogTemplate::allocate = DialogTemplate::DefaultAllocate;

void* DialogTemplate::DefaultAllocate(SIZE_T bytes)
{
    return HeapAlloc(GetProcessHeap(), 0, bytes);
}

DialogTemplate::DialogTemplate(const char* caption, DWORD style, int x, int y, int width,
                               int height, const char* fontFace, int pointSize)
    : buffer(nullptr), capacity(0), length(0)
{
    buffer = static_cast<BYTE*>(allocate(kHeaderSize));
    if (!buffer)
        return;
    capacity = kHeaderSize;
    length = kHeaderSize;

    BYTE* header = buffer;
    PutDword(header, fontFace ? (style | kSetFont) : style);
    PutDword(header + 4, 0);
    PutWord(header + kItemCountOffset, 0);
    PutWord(header + 10, static_cast<WORD>(static_cast<SHORT>(x)));
    PutWord(header + 12, static_cast<WORD>(static_cast<SHORT>(y)));
    PutWord(header + 14, static_cast<WORD>(static_cast<SHORT>(width)));
    PutWord(header + 16, static_cast<WORD>(static_cast<SHORT>(height)));

    AppendWord(0);  // no menu
    AppendWord(0);  // the system's dialog class
    AppendUtf16(caption);
    if (fontFace) {
        AppendWord(static_cast<WORD>(pointSize));
        AppendUtf16(fontFace);
    }
}

DialogTemplate::~DialogTemplate()
{
    Drop();
}

const DLGTEMPLATE* DialogTemplate::Data() const
{
    return reinterpret_cast<const DLGTEMPLATE*>(buffer);
}

void DialogTemplate::AddButton(const char* text, DWORD style, DWORD extendedStyle, int x, int y,
                               int width, int height, WORD id)
{
    AddItem(kButtonClass, text, style, extendedStyle, x, y, width, height, id);
    AppendWord(0);  // no creation data
}

void DialogTemplate::AddEdit(const char* text, DWORD style, DWORD extendedStyle, int x, int y,
                             int width, int height, WORD id)
{
    AddItem(kEditClass, text, style, extendedStyle, x, y, width, height, id);
    AppendWord(0);
}

void DialogTemplate::AddStatic(const char* text, DWORD style, DWORD extendedStyle, int x, int y,
                               int width, int height, WORD id)
{
    AddItem(kStaticClass, text, style, extendedStyle, x, y, width, height, id);
    AppendWord(0);
}

void DialogTemplate::AddItem(WORD classCode, const char* text, DWORD style, DWORD extendedStyle,
                             int x, int y, int width, int height, WORD id)
{
    AlignTo(4);

    BYTE item[kItemHeaderSize];
    PutDword(item, style);
    PutDword(item + 4, extendedStyle);
    PutWord(item + 8, static_cast<WORD>(static_cast<SHORT>(x)));
    PutWord(item + 10, static_cast<WORD>(static_cast<SHORT>(y)));
    PutWord(item + 12, static_cast<WORD>(static_cast<SHORT>(width)));
    PutWord(item + 14, static_cast<WORD>(static_cast<SHORT>(height)));
    PutWord(item + 16, id);
    AppendBytes(item, kItemHeaderSize);

    AppendWord(0xFFFF);
    AppendWord(classCode);
    AppendUtf16(text);

    if (buffer) {
        WORD count = static_cast<WORD>(buffer[kItemCountOffset] | (buffer[kItemCountOffset + 1] << 8));
        PutWord(buffer + kItemCountOffset, static_cast<WORD>(count + 1));
    }
}

void DialogTemplate::AlignTo(int boundary)
{
    if (!buffer || boundary <= 1)
        return;
    int padding = (boundary - length % boundary) % boundary;
    if (padding == 0 || !Reserve(padding))
        return;
    std::memset(buffer + length, 0, static_cast<size_t>(padding));
    length += padding;
}

void DialogTemplate::AppendBytes(const void* bytes, int count)
{
    if (!buffer || count <= 0 || !Reserve(count))
        return;
    std::memcpy(buffer + length, bytes, static_cast<size_t>(count));
    length += count;
}

void DialogTemplate::AppendWord(WORD value)
{
    BYTE bytes[2];
    PutWord(bytes, value);
    AppendBytes(bytes, 2);
}

void DialogTemplate::AppendUtf16(const char* text)
{
    if (!buffer)
        return;
    if (!text)
        text = "";
    int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (units <= 0 || units > INT_MAX / 2) {
        Drop();
        return;
    }
    wchar_t* wide = static_cast<wchar_t*>(allocate(static_cast<SIZE_T>(units) * 2));
    if (!wide) {
        Drop();
        return;
    }
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide, units) != units) {
        HeapFree(GetProcessHeap(), 0, wide);
        Drop();
        return;
    }
    AppendBytes(wide, units * 2);
    HeapFree(GetProcessHeap(), 0, wide);
}

// Grows by twice the piece that did not fit. Answers whether count more bytes fit now; when the
// growth cannot be had the whole template is dropped.
bool DialogTemplate::Reserve(int count)
{
    if (!buffer)
        return false;
    if (count <= capacity - length)
        return true;
    if (count > (INT_MAX - capacity) / 2) {
        Drop();
        return false;
    }
    int newCapacity = capacity + 2 * count;
    BYTE* grown = static_cast<BYTE*>(allocate(static_cast<SIZE_T>(newCapacity)));
    if (!grown) {
        Drop();
        return false;
    }
    std::memcpy(grown, buffer, static_cast<size_t>(length));
    HeapFree(GetProcessHeap(), 0, buffer);
    buffer = grown;
    capacity = newCapacity;
    return true;
}

void DialogTemplate::Drop()
{
    if (buffer)
        HeapFree(GetProcessHeap(), 0, buffer);
    buffer = nullptr;
    capacity = 0;
    length = 0;
}
