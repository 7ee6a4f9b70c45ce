// The few system calls that block on a person (message boxes, the file dialog), hand work to
// another program (the shell, the HTML Help control), show outside the window (the taskbar
// button) or fail only in ways a test cannot easily arrange (a new thread, a large block of
// memory, one write of the settings file among others, a stream-out of the rich edit).
// Production code calls them only through these pointers, which start out as the real functions;
// tests replace them to record what would have been shown, to answer as a user would, or to
// refuse.
#ifndef VELQUETH_BASE_SEAMS_H
#define VELQUETH_BASE_SEAMS_H

#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>

namespace seams {

typedef int (WINAPI *MessageBoxFn)(HWND owner, LPCSTR text, LPCSTR caption, UINT style);
typedef HINSTANCE (WINAPI *ShellExecuteFn)(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR params,
                                           LPCSTR directory, INT show);
typedef BOOL (WINAPI *GetOpenFileNameFn)(LPOPENFILENAMEA record);
typedef HWND (WINAPI *HtmlHelpFn)(HWND caller, LPCSTR file, UINT command, DWORD_PTR data);
typedef HANDLE (WINAPI *CreateThreadFn)(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize,
                                        LPTHREAD_START_ROUTINE start, LPVOID parameter,
                                        DWORD flags, LPDWORD threadId);
typedef void (*TaskbarProgressFn)(HWND window, int state);
typedef BOOL (WINAPI *FlashWindowExFn)(PFLASHWINFO flash);
typedef LPVOID (WINAPI *HeapAllocFn)(HANDLE heap, DWORD flags, SIZE_T bytes);
typedef BOOL (WINAPI *WriteProfileStringFn)(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file);
typedef BOOL (WINAPI *CreateProcessFn)(LPCSTR application, LPSTR commandLine,
                                       LPSECURITY_ATTRIBUTES process, LPSECURITY_ATTRIBUTES thread,
                                       BOOL inherit, DWORD flags, LPVOID environment,
                                       LPCSTR directory, LPSTARTUPINFOA startup,
                                       LPPROCESS_INFORMATION information);
typedef BOOL (WINAPI *ShellExecuteExFn)(SHELLEXECUTEINFOA* request);
typedef LRESULT (WINAPI *SendMessageFn)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

extern MessageBoxFn messageBox;          // MessageBoxA
extern ShellExecuteFn shellExecute;      // ShellExecuteA
extern GetOpenFileNameFn getOpenFileName; // GetOpenFileNameA
extern GetOpenFileNameFn getSaveFileName; // GetSaveFileNameA
extern HtmlHelpFn htmlHelp;              // null: the HTML Help control, loaded on first use
extern CreateThreadFn createThread;      // CreateThread
extern TaskbarProgressFn taskbarProgress; // SetTaskbarProgress (base/TaskbarProgress.h)
extern FlashWindowExFn flashWindowEx;    // FlashWindowEx
extern HeapAllocFn heapAlloc;            // HeapAlloc: the job's command line, the log's renewal
extern WriteProfileStringFn writeProfileString; // WritePrivateProfileStringA: the settings' writes
extern CreateProcessFn createEditor;     // CreateProcessA: the editor that opens a message's place
extern ShellExecuteExFn shellExecuteEx;  // ShellExecuteExA: a message's file opened by its type
extern SendMessageFn streamOut;          // SendMessageA: the rich edit's stream-out of a renewal's tail

// Puts every pointer back to the real function.
void Restore();

} // namespace seams

#endif
