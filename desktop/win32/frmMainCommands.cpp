// The main window's commands: Encrypt, Decrypt, Copy Text and Clear, and the window the
// Encrypt and Decrypt commands work through.
#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <algorithm>

#include "desktop/FormTexts.h"
#include "desktop/win32/Platform.h"
#include "desktop/win32/frmMain.h"

namespace tavorin::win32 {

void frmMain::CommandStarting() {
    commandStart_ = GetTickCount64();
    // Nobody edits the text while the command works on it.
    SendMessageW(txtMessage, EM_SETREADONLY, TRUE, 0);
    SendMessageW(txtEncKey, EM_SETREADONLY, TRUE, 0);
}

void frmMain::CommandEnded() {
    if (displayStale_) {
        ShowText();
    }
    SendMessageW(txtEncKey, EM_SETREADONLY, FALSE, 0);
    SendMessageW(txtMessage, EM_SETREADONLY, FALSE, 0);
}

void frmMain::cmdCopy_Click() {
    if (CommandRunning()) {
        return;
    }
    // Plain text is a secret: kept out of the clipboard's history. The envelope is not.
    CopyToClipboard(Handle(), Text(), !EnvelopeShown());
}

void frmMain::ClearKey() { SetWindowTextW(txtEncKey, L""); }

std::u16string frmMain::ControlText(HWND control) const {
    const int length = GetWindowTextLengthW(control);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(control, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::max(got, 0)));
    return Utf16(text);
}

namespace {

// The line breaks the window put into an envelope for showing: CR CR LF, which the control
// shows as a line break (as it shows its own soft breaks, EM_FMTLINES).
constexpr std::u16string_view SoftBreak = u"\r\r\n";

void RemoveSoftBreaks(std::u16string& text) {
    std::size_t to = text.find(SoftBreak);
    if (to == std::u16string::npos) {
        return;
    }
    for (std::size_t from = to; from < text.size();) {
        if (text.compare(from, SoftBreak.size(), SoftBreak) == 0) {
            from += SoftBreak.size();
        } else {
            text[to++] = text[from++];
        }
    }
    text.resize(to);
}

}  // namespace

const std::u16string& frmMain::Text() {
    if (textFromControl_) {
        // The user's edit: the control's text, without the breaks the window put in.
        text_ = ControlText(txtMessage);
        if (softBreaks_) {
            RemoveSoftBreaks(text_);
        }
        textFromControl_ = false;
    }
    return text_;
}

namespace {

// Pairs and single spaces, as Encrypt writes an envelope.
bool OneLineOfPairs(std::u16string_view text) {
    if (text.size() % 3 != 2) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const bool fits = i % 3 == 2 ? c == u' ' : ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'));
        if (!fits) {
            return false;
        }
    }
    return true;
}

}  // namespace

void frmMain::ShowText() {
    // What the control shows. It ends a text at a NUL: the NUL shows as U+FFFD. It takes
    // seconds a kilobyte to wrap one long line (wine: a minute for 200 KB), so the window
    // wraps an envelope itself, at whole pairs as the Linux window does, with soft breaks
    // that are no part of the text: Copy Text, the commands and the length line never see
    // them, an edited envelope neither.
    std::u16string shown;
    const std::size_t perLine = 3 * pairsPerLine_;
    softBreaks_ = text_.size() > perLine && OneLineOfPairs(text_);
    if (softBreaks_) {
        shown.reserve(text_.size() + SoftBreak.size() * (text_.size() / perLine + 1));
        for (std::size_t at = 0; at < text_.size(); at += perLine) {
            shown.append(text_, at, perLine);
            if (at + perLine < text_.size()) {
                shown.append(SoftBreak);
            }
        }
    } else {
        shown = text_;
        std::replace(shown.begin(), shown.end(), u'\0', u'\uFFFD');
    }
    writing_ = true;
    SetWindowTextW(txtMessage, reinterpret_cast<const wchar_t*>(shown.c_str()));
    writing_ = false;
    textFromControl_ = false;
    displayStale_ = false;
    txtMessage_Change();
}

// A long text pasted goes into the window's text first, and shows as any text the window
// writes (an envelope folded), rather than as one line the control wraps.
void frmMain::PasteLongText(std::u16string_view pasted) {
    std::u16string text = ControlText(txtMessage);
    const bool softBreaks = softBreaks_;
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(txtMessage, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    start = std::min<DWORD>(start, static_cast<DWORD>(text.size()));
    end = std::clamp<DWORD>(end, start, static_cast<DWORD>(text.size()));
    text.replace(start, end - start, pasted);
    if (softBreaks) {
        RemoveSoftBreaks(text);
    }
    SetMessageText(std::move(text));
    // After the pasted text, where the soft breaks shift it.
    std::size_t after = start + pasted.size();
    if (softBreaks_) {
        after += SoftBreak.size() * (after / (3 * pairsPerLine_));
    }
    const auto caret = static_cast<WPARAM>(std::min<std::size_t>(after, GetWindowTextLengthW(txtMessage)));
    SendMessageW(txtMessage, EM_SETSEL, caret, static_cast<LPARAM>(caret));
    SendMessageW(txtMessage, EM_SCROLLCARET, 0, 0);
}

// The window of the commands.

std::u16string frmMain::MessageText() { return Text(); }

const std::u16string& frmMain::PeekMessageText() { return Text(); }

std::u16string frmMain::TakeMessageText() {
    Text();
    return std::move(text_);
}

void frmMain::SetMessageText(std::u16string_view text) { SetMessageText(std::u16string(text)); }

void frmMain::SetMessageText(std::u16string&& text) {
    text_ = std::move(text);
    textFromControl_ = false;
    if (CommandRunning()) {
        // Shown once, when the command is done.
        displayStale_ = true;
        txtMessage_Change();
        return;
    }
    ShowText();
}

std::u16string frmMain::KeyText() {
    // The key's copies are wiped as the commands wipe theirs.
    const int length = GetWindowTextLengthW(txtEncKey);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = std::max(GetWindowTextW(txtEncKey, text.data(), length + 1), 0);
    std::u16string key(text.begin(), text.begin() + got);
    SecureZeroMemory(text.data(), text.size() * sizeof(wchar_t));
    return key;
}

std::u16string frmMain::PassCountText() { return ControlText(cboEncPasses); }

std::u16string frmMain::EngineLineText() { return ControlText(cboEncryption); }

void frmMain::ShowStatus(std::u16string_view text) {
    SetWindowTextW(lblResult, Wide(text).c_str());
    if (CommandRunning()) {
        UpdateWindow(lblResult);  // "Please Wait" shows before the long work, not after it
    }
}

void frmMain::SetBusy(bool busy) {
    if (busy == busy_) {
        return;
    }
    busy_ = busy;
    SetCursor(LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

void frmMain::ShowMessage(std::u16string_view text, MessageIcon icon, std::u16string_view title) {
    if (displayStale_) {
        ShowText();  // the box is answered beside the text as it stands
    }
    const bool wasBusy = busy_;
    busy_ = false;  // a box is answered with the ordinary pointer
    desktop_.ShowBox(Handle(), text, icon, title);
    busy_ = wasBusy;
}

void frmMain::FocusKeyField() { SetFocus(txtEncKey); }

void frmMain::ClearClipboard() { EmptyTheClipboard(Handle()); }

void frmMain::Yield() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (TakeShortcut(msg) || PreTranslate(msg)) {
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

bool frmMain::TakeShortcut(MSG& msg) {
    HWND window = Handle();
    return window != nullptr && GetAncestor(msg.hwnd, GA_ROOT) == window &&
           TranslateAcceleratorW(window, accelerators_, &msg) != 0;
}

void frmMain::ShowProgress(std::int32_t percent) {
    if (percent < 0 || !CommandRunning()) {
        if (progressShown_) {
            ShowWindow(prgWork, SW_HIDE);
            progressShown_ = false;
        }
        return;
    }
    const ULONGLONG now = GetTickCount64();
    if (!progressShown_) {
        if (now - commandStart_ < progressAfterMs_) {
            return;
        }
        ShowWindow(prgWork, SW_SHOW);
        progressShown_ = true;
        progressPainted_ = 0;
    }
    // Painted at once, since the engine is still working and messages wait for the next
    // yield; but only as often as the eye needs.
    if (now - progressPainted_ >= ProgressPaintMs || percent >= 100) {
        SendMessageW(prgWork, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
        UpdateWindow(prgWork);
        progressPainted_ = now;
    }
}

}  // namespace tavorin::win32
