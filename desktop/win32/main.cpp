// tavorin.exe: the desktop program for Windows.
#include <windows.h>
// after windows.h
#include <shellapi.h>

#include <optional>
#include <string>
#include <string_view>

#include "base/Memory.h"
#include "desktop/FormTexts.h"
#include "desktop/win32/FormParts.h"
#include "desktop/win32/Platform.h"
#include "desktop/win32/frmMain.h"

namespace {

// What --help or --version answers, the first of them given; nothing for the window.
std::optional<std::string> Answer() {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    std::optional<std::string> answer;
    for (int i = 1; args != nullptr && i < count && !answer; ++i) {
        const std::wstring_view arg = args[i];
        if (arg == L"--help" || arg == L"-h" || arg == L"/?") {
            answer = std::string(tavorin::forms::UsageText);
        } else if (arg == L"--version" || arg == L"-V") {
            answer = tavorin::forms::VersionText();
        }
    }
    LocalFree(args);
    return answer;
}

bool WriteAll(HANDLE out, std::string_view text) {
    DWORD written = 0;
    return out != nullptr && out != INVALID_HANDLE_VALUE &&
           WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
}

// A window program has no console of its own: the answer goes to the standard output where the
// caller redirected it, else to the console of the program that started it (a terminal, which
// does not wait for a window program: the text comes after its prompt), else into a box.
void Tell(const std::string& text) {
    if (WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), text)) {
        return;
    }
    std::string lines;
    for (const char c : text) {
        lines += c == '\n' ? std::string_view("\r\n") : std::string_view(&c, 1);
    }
    // Refused as "access denied" when this process has a console already (wine gives it that
    // of its starter).
    const bool attached = AttachConsole(ATTACH_PARENT_PROCESS) != FALSE;
    if (attached || GetLastError() == ERROR_ACCESS_DENIED) {
        HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
        const bool told = WriteAll(console, lines);
        if (console != INVALID_HANDLE_VALUE) {
            CloseHandle(console);
        }
        if (attached) {
            FreeConsole();
        }
        if (told) {
            return;
        }
    }
    const std::wstring shown(lines.begin(), lines.end());  // ASCII
    MessageBoxW(nullptr, shown.c_str(), L"Tavorin", MB_OK | MB_ICONINFORMATION);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
    if (const std::optional<std::string> answer = Answer()) {
        Tell(*answer);
        return 0;
    }
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
