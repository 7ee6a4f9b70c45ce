#include "base/Seams.h"

#include <shellapi.h>

#include "base/TaskbarProgress.h"

namespace seams {

MessageBoxFn messageBox = MessageBoxA;
ShellExecuteFn shellExecute = ShellExecuteA;
GetOpenFileNameFn getOpenFileName = GetOpenFileNameA;
GetOpenFileNameFn getSaveFileName = GetSaveFileNameA;
HtmlHelpFn htmlHelp = nullptr;
CreateThreadFn createThread = CreateThread;
TaskbarProgressFn taskbarProgress = SetTaskbarProgress;
FlashWindowExFn flashWindowEx = FlashWindowEx;
HeapAllocFn heapAlloc = HeapAlloc;
WriteProfileStringFn writeProfileString = WritePrivateProfileStringA;
CreateProcessFn createEditor = CreateProcessA;
ShellExecuteExFn shellExecuteEx = ShellExecuteExA;
SendMessageFn streamOut = SendMessageA;

void Restore()
{
    messageBox = MessageBoxA;
    shellExecute = ShellExecuteA;
    getOpenFileName = GetOpenFileNameA;
    getSaveFileName = GetSaveFileNameA;
    htmlHelp = nullptr;
    createThread = CreateThread;
    taskbarProgress = SetTaskbarProgress;
    flashWindowEx = FlashWindowEx;
    heapAlloc = HeapAlloc;
    writeProfileString = WritePrivateProfileStringA;
    createEditor = CreateProcessA;
    shellExecuteEx = ShellExecuteExA;
    streamOut = SendMessageA;
}

} // namespace seams
