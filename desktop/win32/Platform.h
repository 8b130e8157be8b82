#pragma once
// What the Win32 windows need from the system around them: message boxes, opening web
// addresses, the system information tool and the clipboard. The windows reach the first
// three only through a Desktop, so tests can put a recording one in its place.

#include <windows.h>
#undef Yield  // 16-bit Windows' own; the window interface has one

#include <optional>
#include <string>
#include <string_view>

#include "desktop/MessageWindow.h"

namespace tavorin::win32 {

class Desktop {
public:
    virtual ~Desktop() = default;

    // Modal, one OK button; an empty title shows the application title.
    virtual void ShowBox(HWND owner, std::u16string_view text, MessageIcon icon, std::u16string_view title);
    // The shell's "open" of the address, shown as it is (SW_SHOW); a failure shows nothing.
    virtual void OpenAddress(HWND owner, std::u16string_view address);
    // A text value under HKEY_LOCAL_MACHINE, read with the rights of reading alone.
    virtual std::optional<std::wstring> MachineValue(const std::wstring& key, const std::wstring& value);
    // Starts a program in a normal, focused window, without waiting for it.
    virtual bool StartProgram(const std::wstring& path);
    virtual bool FileExists(const std::wstring& path);
};

// The system information tool: its recorded path, or MSINFO32.EXE in its recorded folder.
std::optional<std::wstring> FindSysInfo(Desktop& desktop);
// Starts it, or says it is unavailable. True when it started.
bool StartSysInfo(Desktop& desktop, HWND owner);

// Puts the text on the clipboard alone. A secret is kept out of the clipboard's history and
// its copies to other devices.
bool CopyToClipboard(HWND owner, std::u16string_view text, bool secret);
void EmptyTheClipboard(HWND owner);

}  // namespace tavorin::win32
