// Entry point: one MainFrame, one main window, one message loop.
#include <windows.h>

#include <new>

#include "app/MainFrame.h"
#include "base/Seams.h"
#include "base/SystemLibrary.h"
#include "res/resource.h"

namespace {

const int kAcceleratorCount = 12;

void FillAccelerators(ACCEL* table)
{
    const BYTE kCtrl = FVIRTKEY | FCONTROL;
    const ACCEL entries[kAcceleratorCount] = {
        {kCtrl, 0x50, ID_PROPERTIES},       {kCtrl, 0x44, ID_RUN_DEFAULT},
        {kCtrl, 0x31, ID_RUN_SLOT_1},       {kCtrl, 0x32, ID_RUN_SLOT_1 + 1},
        {kCtrl, 0x33, ID_RUN_SLOT_1 + 2},   {kCtrl, 0x34, ID_RUN_SLOT_1 + 3},
        {kCtrl, 0x35, ID_RUN_SLOT_1 + 4},   {kCtrl, 0x36, ID_RUN_SLOT_1 + 5},
        {kCtrl, 0x37, ID_RUN_SLOT_1 + 6},   {kCtrl, 0x38, ID_RUN_SLOT_8},
        {FVIRTKEY, VK_F1, ID_USER_GUIDE},   {kCtrl, 0x4C, ID_CLEAR_SCREEN},
    };
    for (int i = 0; i < kAcceleratorCount; ++i)
        table[i] = entries[i];
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandText, int showCommand)
{
    UseSystemLibrariesOnly();
    ACCEL accelerators[kAcceleratorCount];
    FillAccelerators(accelerators);

    MainFrame* frame = new (std::nothrow) MainFrame();
    if (!frame)
        return -1;

    char title[128] = "";
    LoadStringA(instance, IDS_APP_TITLE, title, sizeof title);
    HWND running = FindWindowA(nullptr, title);
    if (running) {
        ShowWindow(running, SW_SHOWNORMAL);
        MessageBeep(MB_ICONEXCLAMATION);
        delete frame;
        return 0;
    }

    frame->commandLine = (commandText && commandText[0]) ? commandText : nullptr;
    if (!frame->Create(instance, showCommand)) {
        seams::messageBox(nullptr, "Failed to create the main frame", nullptr, MB_ICONERROR);
        delete frame;
        return 0;
    }

    HACCEL acceleratorTable = CreateAcceleratorTableA(accelerators, kAcceleratorCount);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        // The Find dialog's keys are its own (Ctrl+L in its edit leaves the log alone).
        if (frame->logFind.TakeDialogMessage(&msg))
            continue;
        if (!TranslateAcceleratorA(frame->mainWindow, acceleratorTable, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }

    MainFrame::Release(frame);
    if (acceleratorTable)
        DestroyAcceleratorTable(acceleratorTable);
    return static_cast<int>(msg.wParam);
}
