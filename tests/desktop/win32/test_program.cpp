// tavorin.exe --version, a window program, answers wherever its caller can read it: into a
// redirected output, into the console of the program that started it, or in a box.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

struct Started {
    PROCESS_INFORMATION process{};
    bool ok = false;
    ~Started() {
        if (ok) {
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
    }
};

// tavorin.exe with these arguments and these standard handles (none: no handles at all).
void Start(Started& started, const wchar_t* arguments, HANDLE output, DWORD flags) {
    std::wstring line = L"\"" TAVORIN_WINDOW_PATH L"\" ";
    line += arguments;
    STARTUPINFOW info{};
    info.cb = sizeof info;
    info.dwFlags = STARTF_USESTDHANDLES;
    info.hStdOutput = output;
    info.hStdError = output;
    started.ok = CreateProcessW(nullptr, line.data(), nullptr, nullptr, output != nullptr, flags, nullptr, nullptr,
                                &info, &started.process) != FALSE;
}

DWORD ExitCode(const Started& started) {
    if (WaitForSingleObject(started.process.hProcess, 30000) != WAIT_OBJECT_0) {
        TerminateProcess(started.process.hProcess, 98);
        ADD_FAILURE() << "tavorin.exe did not end";
    }
    DWORD code = 99;
    GetExitCodeProcess(started.process.hProcess, &code);
    return code;
}

TEST(Win32Program, VersionGoesToARedirectedOutput) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    ASSERT_TRUE(CreatePipe(&read, &write, &inherit, 0));
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    Started started;
    Start(started, L"--version", write, 0);
    CloseHandle(write);
    ASSERT_TRUE(started.ok);
    std::string out;
    char buffer[256];
    DWORD got = 0;
    while (ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        out.append(buffer, got);
    }
    CloseHandle(read);
    EXPECT_EQ(ExitCode(started), 0u);
    EXPECT_EQ(out, "tavorin 1.0\n");
}

struct Found {
    DWORD process;
    HWND box = nullptr;
};

BOOL CALLBACK FindBox(HWND window, LPARAM data) {
    auto* found = reinterpret_cast<Found*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t title[64] = {};
    GetWindowTextW(window, title, 64);
    if (owner == found->process && IsWindowVisible(window) && std::wstring(title) == L"Tavorin") {
        found->box = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK BoxText(HWND child, LPARAM data) {
    wchar_t text[1024] = {};
    GetWindowTextW(child, text, 1024);
    *reinterpret_cast<std::wstring*>(data) += text;
    return TRUE;
}

TEST(Win32Program, HelpWithNowhereToWriteShowsABox) {
    Started started;
    Start(started, L"--help", nullptr, DETACHED_PROCESS);
    ASSERT_TRUE(started.ok);
    Found found{started.process.dwProcessId};
    for (int i = 0; i < 300 && found.box == nullptr; ++i) {
        Sleep(100);
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&found));
    }
    ASSERT_NE(found.box, nullptr);
    std::wstring text;
    EnumChildWindows(found.box, BoxText, reinterpret_cast<LPARAM>(&text));
    EXPECT_NE(text.find(L"-V, --version  show the version and exit"), std::wstring::npos);
    PostMessageW(found.box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(ExitCode(started), 0u);
}

TEST(Win32Program, VersionGoesToTheConsoleOfItsStarter) {
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    HANDLE screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(screen, INVALID_HANDLE_VALUE);
    CONSOLE_SCREEN_BUFFER_INFO before{};
    GetConsoleScreenBufferInfo(screen, &before);
    Started started;
    Start(started, L"--version", nullptr, 0);
    ASSERT_TRUE(started.ok);
    EXPECT_EQ(ExitCode(started), 0u);
    wchar_t line[32] = {};
    DWORD got = 0;
    ReadConsoleOutputCharacterW(screen, line, 11, COORD{0, before.dwCursorPosition.Y}, &got);
    EXPECT_EQ(std::wstring(line, got), L"tavorin 1.0");
    CloseHandle(screen);
    FreeConsole();
}

}  // namespace
