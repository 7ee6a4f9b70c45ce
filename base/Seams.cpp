#include "base/Seams.h"

#include <shellapi.h>

namespace seams {

MessageBoxFn messageBox = MessageBoxA;
ShellExecuteFn shellExecute = ShellExecuteA;
GetOpenFileNameFn getOpenFileName = GetOpenFileNameA;
HtmlHelpFn htmlHelp = nullptr;

void Restore()
{
    messageBox = MessageBoxA;
    shellExecute = ShellExecuteA;
    getOpenFileName = GetOpenFileNameA;
    htmlHelp = nullptr;
}

} // namespace seams
