// The Windows side of base/Terminal.h: the console's own input (CONIN$), read as UTF-16 with
// ReadConsoleW, so that any character of the key arrives as typed (a console hands bytes out
// in the OEM code page, which holds few letters beyond English).
#include "base/Terminal.h"

#include <windows.h>

#include <atomic>
#include <string>

#include "base/Memory.h"

namespace tavorin {

namespace {

// The console input's mode while echo is off, for the Ctrl-C handler to put back.
std::atomic<HANDLE> g_input{nullptr};
std::atomic<DWORD> g_mode{0};

// Ctrl-C, Ctrl-Break or the console closing: echo comes back, then the default handler ends
// the process.
BOOL WINAPI RestoreEcho(DWORD) {
    if (const HANDLE input = g_input.load()) {
        SetConsoleMode(input, g_mode.load());
    }
    return FALSE;
}

void WriteText(HANDLE output, std::string_view utf8) {
    if (output == INVALID_HANDLE_VALUE || utf8.empty()) {
        return;
    }
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    DWORD written = 0;
    WriteConsoleW(output, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
}

// Last in the chain: the key prompt's handler, set later, puts echo back first.
BOOL WINAPI EndInterrupted(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        ExitProcess(STATUS_CONTROL_C_EXIT);  // a file being written goes with its last handle
    }
    return FALSE;
}

}  // namespace

void EndOnInterrupt() noexcept { SetConsoleCtrlHandler(EndInterrupted, TRUE); }

std::optional<std::string> AskWithoutEcho(std::string_view prompt, bool* endedEarly) {
    const HANDLE input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD saved = 0;
    if (input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &saved)) {
        if (input != INVALID_HANDLE_VALUE) {
            CloseHandle(input);
        }
        return std::nullopt;  // no console to ask
    }
    const HANDLE output = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    g_mode.store(saved);
    g_input.store(input);
    SetConsoleCtrlHandler(RestoreEcho, TRUE);
    SetConsoleMode(input, (saved | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT) & ~DWORD{ENABLE_ECHO_INPUT});
    WriteText(output, prompt);

    // The line as typed, UTF-16; grown by hand, so that each shorter copy is wiped.
    std::wstring line;
    bool ended = false;
    wchar_t chunk[64];
    for (;;) {
        DWORD got = 0;
        if (!ReadConsoleW(input, chunk, 64, &got, nullptr) || got == 0) {
            break;
        }
        std::wstring_view piece(chunk, got);
        // Ctrl-Z and Enter at the start of the line: the end of the input, as ReadFile reads it.
        if (line.empty() && piece.front() == 0x1A) {
            break;
        }
        const std::size_t end = piece.find_first_of(L"\r\n");
        if (end != std::wstring_view::npos) {
            piece = piece.substr(0, end);
            ended = true;
        }
        if (line.size() + piece.size() > line.capacity()) {
            std::wstring larger;
            larger.reserve(2 * (line.size() + piece.size()));
            larger = line;
            SecureWipe(line.data(), line.size() * sizeof(wchar_t));
            line.swap(larger);
        }
        line.append(piece);
        if (ended) {
            break;
        }
    }
    SecureWipe(chunk, sizeof chunk);
    SetConsoleMode(input, saved);
    g_input.store(nullptr);
    SetConsoleCtrlHandler(RestoreEcho, FALSE);
    WriteText(output, "\r\n");
    if (output != INVALID_HANDLE_VALUE) {
        CloseHandle(output);
    }
    CloseHandle(input);
    if (!ended && line.empty()) {
        if (endedEarly != nullptr) {
            *endedEarly = true;
        }
        return std::nullopt;
    }
    std::string utf8;
    if (!line.empty()) {
        const int n =
            WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
        utf8.assign(static_cast<std::size_t>(n), '\0');
        WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), utf8.data(), n, nullptr, nullptr);
    }
    SecureWipe(line.data(), line.size() * sizeof(wchar_t));
    return utf8;
}

}  // namespace tavorin
