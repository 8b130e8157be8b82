#include "desktop/win32/Platform.h"

#include <shellapi.h>

#include <cstring>

#include "desktop/FormTexts.h"
#include "desktop/win32/FormParts.h"

namespace tavorin::win32 {

void Desktop::ShowBox(HWND owner, std::u16string_view text, MessageIcon icon, std::u16string_view title) {
    UINT type = MB_OK;
    switch (icon) {
    case MessageIcon::None:
        break;
    case MessageIcon::Exclamation:
        type |= MB_ICONEXCLAMATION;
        break;
    case MessageIcon::Critical:
        type |= MB_ICONERROR;
        break;
    case MessageIcon::Information:
        type |= MB_ICONINFORMATION;
        break;
    }
    const std::wstring shown = Wide(text);
    const std::wstring caption = Wide(title.empty() ? forms::ApplicationTitle : title);
    MessageBoxW(owner, shown.c_str(), caption.c_str(), type);
}

void Desktop::OpenAddress(HWND owner, std::u16string_view address) {
    const std::wstring file = Wide(address);
    ShellExecuteW(owner, L"open", file.c_str(), nullptr, nullptr, SW_SHOW);
}

std::optional<std::wstring> Desktop::MachineValue(const std::wstring& key, const std::wstring& value) {
    // Reading is all this needs: asking for more is refused to users who are no administrators.
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    wchar_t buffer[512] = {};  // 1024 bytes, the longest value taken
    DWORD size = sizeof buffer;
    DWORD type = 0;
    const LSTATUS status =
        RegQueryValueExW(opened, value.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(opened);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    std::wstring text(buffer, size / sizeof(wchar_t));
    if (!text.empty() && text.back() == L'\0') {
        text.pop_back();
    }
    if (type == REG_EXPAND_SZ) {
        wchar_t expanded[MAX_PATH] = {};
        const DWORD length = ExpandEnvironmentStringsW(text.c_str(), expanded, MAX_PATH);
        if (length == 0 || length > MAX_PATH) {
            return std::nullopt;
        }
        text = expanded;
    }
    return text;
}

bool Desktop::StartProgram(const std::wstring& path) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + path + L"\"";
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

bool Desktop::FileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::optional<std::wstring> FindSysInfo(Desktop& desktop) {
    if (auto path = desktop.MachineValue(L"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", L"PATH")) {
        return path;
    }
    const auto folder = desktop.MachineValue(L"SOFTWARE\\Microsoft\\Shared Tools Location", L"MSINFO");
    if (!folder) {
        return std::nullopt;
    }
    std::wstring candidate = *folder + L"\\MSINFO32.EXE";
    if (!desktop.FileExists(candidate)) {
        return std::nullopt;
    }
    return candidate;
}

bool StartSysInfo(Desktop& desktop, HWND owner) {
    const auto path = FindSysInfo(desktop);
    if (path && desktop.StartProgram(*path)) {
        return true;
    }
    desktop.ShowBox(owner, forms::SysInfoUnavailable, MessageIcon::None, forms::ApplicationTitle);
    return false;
}

namespace {

bool Put(UINT format, const void* bytes, std::size_t size) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
    if (memory == nullptr) {
        return false;
    }
    void* at = GlobalLock(memory);
    std::memcpy(at, bytes, size);
    GlobalUnlock(memory);
    if (SetClipboardData(format, memory) == nullptr) {
        GlobalFree(memory);
        return false;
    }
    return true;
}

// The clipboard is held by another program for a moment at times: a few tries.
bool Open(HWND owner) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (OpenClipboard(owner)) {
            return true;
        }
        Sleep(10);
    }
    return false;
}

}  // namespace

bool CopyToClipboard(HWND owner, std::u16string_view text, bool secret) {
    if (!Open(owner)) {
        return false;
    }
    EmptyClipboard();
    std::u16string terminated(text);
    terminated.push_back(u'\0');
    bool done = Put(CF_UNICODETEXT, terminated.data(), terminated.size() * sizeof(char16_t));
    if (done && secret) {
        const DWORD no = 0;
        Put(RegisterClipboardFormatW(L"ExcludeClipboardContentFromMonitorProcessing"), &no, sizeof no);
        Put(RegisterClipboardFormatW(L"CanIncludeInClipboardHistory"), &no, sizeof no);
        Put(RegisterClipboardFormatW(L"CanUploadToCloudClipboard"), &no, sizeof no);
    }
    CloseClipboard();
    SecureZeroMemory(terminated.data(), terminated.size() * sizeof(char16_t));
    return done;
}

void EmptyTheClipboard(HWND owner) {
    if (Open(owner)) {
        EmptyClipboard();
        CloseClipboard();
    }
}

}  // namespace tavorin::win32
