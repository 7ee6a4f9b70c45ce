// Creates and destroys one window, so that the Wine server and its desktop are up before the
// first test is timed out by CTest.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    HWND window = CreateWindowA("STATIC", "warm-up", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                nullptr, nullptr, instance, nullptr);
    if (window) {
        ShowWindow(window, SW_SHOW);
        DestroyWindow(window);
    }
    return 0;
}
