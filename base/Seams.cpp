#include "base/Seams.h"

#include <shellapi.h>

namespace seams {

MessageBoxFn messageBox = MessageBoxA;
ShellExecuteFn shellExecute = ShellExecuteA;
GetOpenFileNameFn getOpenFileName = GetOpenFileNameA;
HtmlHelpFn htmlHelp = nullptr;
CreateThreadFn createThread = CreateThread;

void Restore()
{
    messageBox = MessageBoxA;
    shellExecute = ShellExecuteA;
    getOpenFileName = GetOpenFileNameA;
    htmlHelp = nullptr;
    createThread = CreateThread;
}

} // namespace seams
