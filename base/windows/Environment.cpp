// The Windows side of base/Environment.h: GetEnvironmentVariableW, then UTF-8.
#include "base/Environment.h"

#include <windows.h>

#include <vector>

namespace tavorin {

std::optional<std::string> EnvironmentValue(const std::string& name) {
    const std::wstring wide(name.begin(), name.end());
    std::vector<wchar_t> value(256);
    DWORD n = 0;
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        n = GetEnvironmentVariableW(wide.c_str(), value.data(), static_cast<DWORD>(value.size()));
        if (n == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
            SecureZeroMemory(value.data(), value.size() * sizeof(wchar_t));
            return std::nullopt;
        }
        if (n < value.size()) {
            break;
        }
        SecureZeroMemory(value.data(), value.size() * sizeof(wchar_t));
        value.assign(n, L'\0');  // n counts the terminating null when the buffer is too small
    }
    // A lone surrogate becomes U+FFFD, which no key's check lets through.
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, value.data(), static_cast<int>(n), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, value.data(), static_cast<int>(n), utf8.data(), bytes, nullptr, nullptr);
    SecureZeroMemory(value.data(), value.size() * sizeof(wchar_t));
    return utf8;
}

}  // namespace tavorin
