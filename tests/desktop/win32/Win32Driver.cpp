// The shared command tests' driver of the Win32 main window: controls found by their ids, sent
// the messages a person's clicks and keys send them.
#include <windows.h>
#undef Yield
// after windows.h
#include <commctrl.h>

#include <gtest/gtest.h>

#include "../window/WindowDriver.h"
#include "desktop/FormTexts.h"
#include "desktop/win32/Platform.h"
#include "desktop/win32/frmMain.h"

namespace tavorin::testing {

namespace {

using namespace tavorin::win32;

LRESULT CALLBACK CountPaints(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR counter) {
    if (message == WM_PAINT) {
        ++*reinterpret_cast<int*>(counter);
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

std::u16string Unix(std::u16string text) {
    for (std::size_t at = text.find(u"\r\n"); at != std::u16string::npos; at = text.find(u"\r\n", at)) {
        text.erase(at, 1);
    }
    return text;
}

class Win32Driver final : public WindowDriver, public Desktop {
public:
    Win32Driver() : window_(std::make_unique<frmMain>(*this)) {}
    ~Win32Driver() override {
        if (window_->Handle() != nullptr) {
            RemoveWindowSubclass(Control("prgWork"), CountPaints, 1);
        }
        window_.reset();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    // What the window asks of the system: recorded instead.
    void ShowBox(HWND, std::u16string_view text, MessageIcon icon, std::u16string_view title) override {
        boxes_.push_back({Unix(std::u16string(text)), icon,
                          std::u16string(title.empty() ? forms::ApplicationTitle : title), window_->Busy()});
        if (onBox) {
            onBox();
        }
    }
    void OpenAddress(HWND, std::u16string_view) override {}

    MainForm& Window() override { return *window_; }

    void Click(const char* name) override { Command(name, STN_CLICKED); }

    void Choose(std::u16string_view cipher) override {
        SendMessageW(Control("cboEncryption"), CB_SELECTSTRING, static_cast<WPARAM>(-1),
                     reinterpret_cast<LPARAM>(Wide(cipher).c_str()));
        Command("cboEncryption", CBN_SELCHANGE);
    }

    void SetKey(std::u16string_view key) override { SetWindowTextW(Control("txtEncKey"), Wide(key).c_str()); }

    void TypeMessage(std::u16string_view text) override {
        SendMessageW(Control("txtMessage"), EM_SETSEL, 0, -1);
        SendMessageW(Control("txtMessage"), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(Wide(text).c_str()));
    }

    void Paste() override { SendMessageW(Control("txtMessage"), WM_PASTE, 0, 0); }

    void ChooseMenu(const char* name) override {
        std::size_t index = 0;
        while (forms::Main.menu[index].name != name) {
            ++index;
        }
        SendMessageW(window_->Handle(), WM_COMMAND, 2000 + index, 0);
    }

    std::u16string LabelText(const char* name) override {
        wchar_t text[256] = {};
        GetWindowTextW(Control(name), text, 256);
        return Utf16(text);
    }

    void Focus(const char* name) override { SetFocus(Control(name)); }

    bool HasFocus(const char* name) override { return GetFocus() == Control(name); }

    std::u16string Clipboard(bool* secret) override {
        std::u16string text;
        if (!OpenClipboard(nullptr)) {
            return u"(clipboard busy)";
        }
        if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
            text = static_cast<const char16_t*>(GlobalLock(data));
            GlobalUnlock(data);
        }
        if (secret != nullptr) {
            *secret = IsClipboardFormatAvailable(RegisterClipboardFormatW(L"CanIncludeInClipboardHistory")) != 0;
        }
        CloseClipboard();
        return text;
    }

    void SetClipboard(std::u16string_view text) override { CopyToClipboard(nullptr, text, false); }

    bool Busy() override { return window_->Busy(); }

    bool BusyPointer() override { return window_->Busy(); }  // the form sets the pointer while busy

    void RequestClose() override { SendMessageW(window_->Handle(), WM_CLOSE, 0, 0); }

    bool Closed() override {
        MSG msg;
        while (window_->Handle() != nullptr && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&msg);
        }
        return window_->Handle() == nullptr;
    }

    const std::vector<Box>& Boxes() override { return boxes_; }

    void WatchProgress() override {
        ShowWindow(window_->Handle(), SW_SHOWNOACTIVATE);  // painted only when shown
        painted_ = 0;
        SetWindowSubclass(Control("prgWork"), CountPaints, 1, reinterpret_cast<DWORD_PTR>(&painted_));
    }
    // Shown when painted: a hidden window is not.
    int ProgressShown() override { return painted_; }
    int ProgressPainted() override { return painted_; }
    bool ProgressVisible() override { return IsWindowVisible(Control("prgWork")) != FALSE; }
    void SetProgressDelay(int ms) override { window_->SetProgressDelay(static_cast<ULONGLONG>(ms)); }
    std::size_t LargeSize() override { return std::size_t{64} << 10; }  // wine's text box is slow

    // The envelope shows wrapped at whole pairs, without a line break in its text: edited (its
    // first pair deleted and typed again), it is the same envelope.
    void CheckLargeEnvelope(const std::u16string& envelope) override {
        HWND area = Control("txtMessage");
        const auto rows = static_cast<std::size_t>(SendMessageW(area, EM_GETLINECOUNT, 0, 0));
        EXPECT_GT(rows, envelope.size() / 200);
        const auto first = static_cast<std::size_t>(SendMessageW(area, EM_LINELENGTH, 0, 0));
        EXPECT_EQ(first % 3, 0u);
        SendMessageW(area, EM_SETSEL, 0, 3);
        SendMessageW(area, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L""));
        EXPECT_EQ(window_->MessageText(), envelope.substr(3));
        SendMessageW(area, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(Wide(envelope.substr(0, 3)).c_str()));
        EXPECT_EQ(window_->MessageText(), envelope);
        EXPECT_EQ(LabelText("lblLength"), u"Length: " + Utf16(std::to_wstring(envelope.size())));
    }

private:
    HWND Control(const char* name) const { return window_->Control(name); }
    void Command(const char* name, WORD code) {
        SendMessageW(window_->Handle(), WM_COMMAND, MAKEWPARAM(window_->ControlId(name), code),
                     reinterpret_cast<LPARAM>(Control(name)));
    }

    std::vector<Box> boxes_;
    std::unique_ptr<frmMain> window_;
    int painted_ = 0;
};

}  // namespace

std::unique_ptr<WindowDriver> MakeDriver() { return std::make_unique<Win32Driver>(); }

}  // namespace tavorin::testing
