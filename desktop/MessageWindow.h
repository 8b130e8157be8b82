#pragma once
// What the Encrypt and Decrypt commands need from a window. The Qt main window implements
// it over its controls; tests implement it with a recorder.

#include <cstdint>
#include <string>
#include <string_view>

#include "base/TextGate.h"  // MessageEncoding

namespace tavorin {

enum class MessageIcon { None, Exclamation, Critical, Information };

class MessageWindow {
public:
    virtual ~MessageWindow() = default;

    virtual std::u16string MessageText() = 0;
    // The message text without a copy, good until the next write.
    virtual const std::u16string& PeekMessageText() {
        peeked_ = MessageText();
        return peeked_;
    }
    // The message text handed over: the window's text is empty until the next write, which
    // follows at once. A window may as well keep its text and give a copy.
    virtual std::u16string TakeMessageText() { return MessageText(); }
    // Replaces the whole message text; the window refreshes its length line.
    virtual void SetMessageText(std::u16string_view text) = 0;
    // The same, for a text the caller no longer needs: a window may keep it without a copy.
    virtual void SetMessageText(std::u16string&& text) { SetMessageText(std::u16string_view(text)); }
    void SetMessageText(const char16_t* text) { SetMessageText(std::u16string_view(text)); }
    virtual std::u16string KeyText() = 0;
    virtual std::u16string PassCountText() = 0;
    virtual std::u16string EngineName() = 0;
    virtual void SetStatusText(std::u16string_view text) = 0;
    virtual void SetBusy(bool busy) = 0;
    // Modal, one OK button. An empty title shows the application title, "Tavorin".
    virtual void ShowMessage(std::u16string_view text, MessageIcon icon, std::u16string_view title) = 0;
    virtual void FocusKeyField() = 0;
    virtual void ClearClipboard() = 0;
    // Lets the window process pending events, then returns.
    virtual void Yield() = 0;
    virtual MessageEncoding Encoding() = 0;
    // Progress of long work, 0 to 100; -1 when the work is over. Optional.
    virtual void ShowProgress(std::int32_t /*percent*/) {}

private:
    std::u16string peeked_;
};

}  // namespace tavorin
