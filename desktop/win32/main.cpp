// tavorin.exe: the desktop program for Windows.
#include <windows.h>

#include "base/Memory.h"
#include "desktop/win32/FormParts.h"
#include "desktop/win32/Platform.h"
#include "desktop/win32/frmMain.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
    tavorin::DisableCoreDumps();
    tavorin::win32::Desktop desktop;
    tavorin::win32::frmMain window(desktop);
    ShowWindow(window.Handle(), show);
    UpdateWindow(window.Handle());
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (window.TakeShortcut(msg) || tavorin::win32::FormWindow::PreTranslate(msg)) {
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
