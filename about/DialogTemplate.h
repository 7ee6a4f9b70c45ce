// DialogTemplate: a dialog box template built in memory (DLGTEMPLATE followed by DLGITEMTEMPLATE
// items, the classic layout), for DialogBoxIndirectParamA without a dialog resource.
//
// Texts are narrow and stored as UTF-16 through the ANSI code page. When any allocation fails the
// builder drops its whole buffer: every later call does nothing and Data() is null, so a template
// with a missing piece can never reach the dialog box call.
#ifndef VELQUETH_ABOUT_DIALOGTEMPLATE_H
#define VELQUETH_ABOUT_DIALOGTEMPLATE_H

#include <windows.h>

class DialogTemplate {
public:
    // fontFace may be null: no point size, no face, no DS_SETFONT.
    DialogTemplate(const char* caption, DWORD style, int x, int y, int width, int height,
                   const char* fontFace, int pointSize);
    virtual ~DialogTemplate();

    void AddButton(const char* text, DWORD style, DWORD extendedStyle, int x, int y, int width,
                   int height, WORD id);
    void AddEdit(const char* text, DWORD style, DWORD extendedStyle, int x, int y, int width,
                 int height, WORD id);
    void AddStatic(const char* text, DWORD style, DWORD extendedStyle, int x, int y, int width,
                   int height, WORD id);

    // The template, valid until the builder is destroyed; null when the builder has no buffer.
    const DLGTEMPLATE* Data() const;
    int Length() const { return length; }
    int Capacity() const { return capacity; }

    // Every allocation of every builder goes through this pointer (HeapAlloc on the process heap
    // by default); tests replace it to make one fail. Blocks are released with HeapFree.
    typedef void* (*AllocateFn)(SIZE_T bytes);
    static AllocateFn allocate;
    static void* DefaultAllocate(SIZE_T bytes);

protected:
    enum : WORD { kButtonClass = 0x0080, kEditClass = 0x0081, kStaticClass = 0x0082 };

    void AddItem(WORD classCode, const char* text, DWORD style, DWORD extendedStyle, int x, int y,
                 int width, int height, WORD id);
    void AlignTo(int boundary);
    void AppendBytes(const void* bytes, int count);
    void AppendUtf16(const char* text);
    void AppendWord(WORD value);

private:
    bool Reserve(int count);
    void Drop();

    BYTE* buffer;
    int capacity;
    int length;

    DialogTemplate(const DialogTemplate&) = delete;
    DialogTemplate& operator=(const DialogTemplate&) = delete;
};

#endif
