// The Windows process runner of the command-line tests: CreateProcessW with the program's
// standard streams on pipes, fed and drained by threads of their own, and no console, so that
// the program finds no terminal to ask for a key.
#include "tests/cli/Runner.h"

#include <windows.h>
// After windows.h:
#include <io.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <thread>

#include "base/AnsiCodePage.h"

namespace tavorin::test {

namespace {

std::wstring Wide(const std::string& utf8) {
    const std::u16string text = FromUtf8(utf8);
    return std::wstring(text.begin(), text.end());
}

// One argument as the C runtime's parser reads it back: quoted, with the backslashes before a
// quote doubled.
void AppendQuoted(std::wstring& line, const std::wstring& arg) {
    line += L'"';
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(2 * backslashes, L'\\');
    line += L'"';
}

// What the program needs from the parent's environment, and the test's own variables.
std::wstring Environment(const std::vector<std::string>& env) {
    std::wstring block;
    for (const wchar_t* name : {L"SystemRoot", L"windir", L"PATH", L"TEMP", L"TMP"}) {
        wchar_t value[4096];
        const DWORD n = GetEnvironmentVariableW(name, value, 4096);
        if (n > 0 && n < 4096) {
            block += std::wstring(name) + L"=" + std::wstring(value, n) + L'\0';
        }
    }
    for (const std::string& e : env) {
        block += Wide(e) + L'\0';
    }
    return block + L'\0';
}

void Drain(HANDLE from, std::string& into) {
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(from, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        into.append(buffer, got);
    }
}

// Ctrl-C as a person presses it in the program's console: this process joins that console for
// the moment, and lets the event pass. Ctrl-Break as the console host itself delivers it, a
// thread started in the program at kernelbase's CtrlRoutine (at one address in every process of
// a boot), since wine 8 sends none: GenerateConsoleCtrlEvent fails there with ERROR_INVALID_HANDLE.
void Interrupt(const PROCESS_INFORMATION& process, Ending how) {
    if (how == Ending::CtrlBreak) {
        static const auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernelbase.dll"), "CtrlRoutine")));
        const HANDLE thread = CreateRemoteThread(process.hProcess, nullptr, 0, routine,
                                                 reinterpret_cast<void*>(CTRL_BREAK_EVENT), 0, nullptr);
        // refused when the program has just ended
        EXPECT_TRUE(thread || WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) << GetLastError();
        if (thread) {
            CloseHandle(thread);
        }
        return;
    }
    static const BOOL passing = SetConsoleCtrlHandler([](DWORD) -> BOOL { return TRUE; }, TRUE);
    FreeConsole();
    if (passing && AttachConsole(process.dwProcessId)) {  // refused when the program has just ended
        EXPECT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << GetLastError();
        FreeConsole();
    }
}

}  // namespace

CliResult RunCliProgram(const std::vector<std::string>& args, const std::string& input,
                        const std::vector<std::string>& env, const std::string& stdinFile, int endAfterMs, Ending how) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE inRead = nullptr, inWrite = nullptr, outRead = nullptr, outWrite = nullptr, errRead = nullptr,
           errWrite = nullptr;
    EXPECT_TRUE(CreatePipe(&inRead, &inWrite, &inherit, 0));
    EXPECT_TRUE(CreatePipe(&outRead, &outWrite, &inherit, 0));
    EXPECT_TRUE(CreatePipe(&errRead, &errWrite, &inherit, 0));
    // The parent's ends stay here.
    for (HANDLE own : {inWrite, outRead, errRead}) {
        SetHandleInformation(own, HANDLE_FLAG_INHERIT, 0);
    }
    HANDLE stdinHandle = inRead;
    if (!stdinFile.empty()) {
        stdinHandle = CreateFileW(Wide(stdinFile).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                  OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(stdinHandle, INVALID_HANDLE_VALUE);
    }

    std::wstring line;
    AppendQuoted(line, Wide(TAVORIN_CLI_PATH));
    for (const std::string& a : args) {
        line += L' ';
        AppendQuoted(line, Wide(a));
    }
    std::wstring environment = Environment(env);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = stdinHandle;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION process{};
    // To be interrupted it needs a console; one without a window (wine's then has none either).
    const BOOL started =
        CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                       (how != Ending::Kill ? CREATE_NO_WINDOW : DETACHED_PROCESS) | CREATE_UNICODE_ENVIRONMENT,
                       environment.data(), nullptr, &startup, &process);
    EXPECT_TRUE(started) << GetLastError();
    for (HANDLE child : {inRead, outWrite, errWrite}) {
        CloseHandle(child);
    }
    if (stdinHandle != inRead) {
        CloseHandle(stdinHandle);
    }

    CliResult r;
    std::thread feeder([&] {
        std::size_t written = 0;
        while (written < input.size()) {
            DWORD put = 0;
            const DWORD n = static_cast<DWORD>(std::min<std::size_t>(input.size() - written, 1 << 20));
            if (!WriteFile(inWrite, input.data() + written, n, &put, nullptr)) {
                break;  // the program stopped reading
            }
            written += put;
        }
        CloseHandle(inWrite);
    });
    std::thread errors([&] { Drain(errRead, r.err); });
    std::thread output([&] { Drain(outRead, r.out); });
    if (started && endAfterMs >= 0 &&
        WaitForSingleObject(process.hProcess, static_cast<DWORD>(endAfterMs)) == WAIT_TIMEOUT) {
        if (how != Ending::Kill) {
            Interrupt(process, how);
        } else {
            TerminateProcess(process.hProcess, 137);
        }
    }
    output.join();
    errors.join();
    feeder.join();
    CloseHandle(outRead);
    CloseHandle(errRead);
    if (started) {
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        r.code = static_cast<int>(code);
        PROCESS_MEMORY_COUNTERS memory{};
        if (GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory)) {
            r.peakKb = static_cast<long>(memory.PeakWorkingSetSize / 1024);
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    return r;
}

int OpenForWriting(const std::filesystem::path& path, bool append) {
    const DWORD access = append ? FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE : GENERIC_WRITE;
    const HANDLE handle =
        CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return -1;
    }
    return _open_osfhandle(reinterpret_cast<intptr_t>(handle), 0);
}

}  // namespace tavorin::test
