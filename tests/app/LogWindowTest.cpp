// The log window's recipe and the helpers every writer of the log uses, on real controls.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "app/LogWindow.h"
#include "support/App.h"

using testing_support::HostedControl;

TEST(LogWindow, IsPlainEditTellsARichEditFromAPlainControl)
{
    struct Case {
        const char* className;  // as asked for at creation
        bool plainEdit;
    };
    const Case cases[] = {
        {"RichEdit", false},
        {"RICHEDIT", false},
        {"richedit", false},
        {"Edit", true},
        {"RichEdit20A", true},
        {"Static", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.className);
        HostedControl control(c.className);
        ASSERT_NE(nullptr, control.Handle());
        EXPECT_EQ(c.plainEdit, IsPlainEdit(control.Handle()));
    }
}

// SelectEnd leaves an empty selection at the end of either control, even on a long text.
TEST(LogWindow, SelectEndPutsTheCaretAfterTheLastCharacter)
{
    const char* const classes[] = {"RichEdit", "Edit"};
    for (const char* className : classes) {
        SCOPED_TRACE(className);
        HostedControl control(className);
        HWND window = control.Handle();
        ASSERT_NE(nullptr, window);
        std::string text;
        for (int i = 0; i < 2000; ++i)
            text += "some line of text\r\n";
        SetWindowTextA(window, text.c_str());
        SendMessageA(window, EM_SETSEL, 5, 10);
        SelectEnd(window);
        DWORD start = 0, end = 0;
        SendMessageA(window, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(static_cast<DWORD>(SendMessageA(window, WM_GETTEXTLENGTH, 0, 0)), start);
        EXPECT_EQ(start, end);
    }
}
