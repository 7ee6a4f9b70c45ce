#include "base/TaskbarProgress.h"

#include <objbase.h>
#include <shobjidl.h>

namespace {

// CLSID_TaskbarList and IID_ITaskbarList3, here so that no compiler needs its own way to them.
const CLSID kTaskbarList = {0x56FDF344, 0xFD6D, 0x11D0,
                            {0x95, 0x8A, 0x00, 0x60, 0x97, 0xC9, 0xA0, 0x90}};
const IID kTaskbarList3 = {0xEA1AFB91, 0x9E28, 0x4B86,
                           {0x90, 0xE9, 0x9E, 0x9F, 0x8A, 0x5E, 0xEF, 0xAF}};

// Made on first use and kept; a system without it is asked only once.
ITaskbarList3* taskbar = nullptr;
bool taskbarMissing = false;

ITaskbarList3* Taskbar()
{
    if (taskbar || taskbarMissing)
        return taskbar;
    taskbarMissing = true;
    // The thread may already be in an apartment of the other kind; the interface serves either.
    HRESULT joined = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(joined) && joined != RPC_E_CHANGED_MODE)
        return nullptr;
    ITaskbarList3* list = nullptr;
    if (FAILED(CoCreateInstance(kTaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                kTaskbarList3, reinterpret_cast<void**>(&list))) ||
        !list)
        return nullptr;
    if (FAILED(list->HrInit())) {
        list->Release();
        return nullptr;
    }
    taskbar = list;
    taskbarMissing = false;
    return taskbar;
}

} // namespace

void SetTaskbarProgress(HWND window, int state)
{
    ITaskbarList3* list = Taskbar();
    if (!list)
        return;
    // The error state colours the bar as far as its value goes: all of it.
    if (state == TBPF_ERROR)
        list->SetProgressValue(window, 1, 1);
    list->SetProgressState(window, static_cast<TBPFLAG>(state));
}
