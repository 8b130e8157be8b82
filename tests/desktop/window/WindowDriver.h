#pragma once
// The main window of either front end as the shared command tests drive it: its controls found
// by their names in the forms table (object names in Qt, control ids in Win32), clicked, typed
// into and read as a person would, its boxes read as they appear and answered.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "desktop/MainForm.h"

namespace tavorin::testing {

class WindowDriver {
public:
    struct Box {
        std::u16string text;  // line breaks as LF
        MessageIcon icon = MessageIcon::None;
        std::u16string title;  // as shown: the program's when the command gave none
        bool busyPointer = false;
    };

    virtual ~WindowDriver() = default;

    virtual MainForm& Window() = 0;
    virtual void Click(const char* name) = 0;  // a label-button
    virtual void Choose(std::u16string_view cipher) = 0;
    virtual void SetKey(std::u16string_view key) = 0;
    // As typed or pasted into the message area.
    virtual void TypeMessage(std::u16string_view text) = 0;
    // The clipboard pasted into the message area.
    virtual void Paste() = 0;
    virtual void ChooseMenu(const char* name) = 0;
    virtual std::u16string LabelText(const char* name) = 0;
    virtual void Focus(const char* name) = 0;
    virtual bool HasFocus(const char* name) = 0;
    // `secret`: the copy carries the mark that keeps it out of clipboard histories.
    virtual std::u16string Clipboard(bool* secret = nullptr) = 0;
    virtual void SetClipboard(std::u16string_view text) = 0;
    // The window's busy state, and the pointer that shows it.
    virtual bool Busy() = 0;
    virtual bool BusyPointer() = 0;
    // Asks the window to close; Closed() once it has (events processed).
    virtual void RequestClose() = 0;
    virtual bool Closed() = 0;
    // Boxes shown so far; onBox runs while the newest is open.
    virtual const std::vector<Box>& Boxes() = 0;
    std::function<void()> onBox;

    // The progress bar: counted from here on, how often it was shown and painted.
    virtual void WatchProgress() = 0;
    virtual int ProgressShown() = 0;
    virtual int ProgressPainted() = 0;
    virtual bool ProgressVisible() = 0;
    virtual void SetProgressDelay(int ms) = 0;
    // The size of a large message this window handles in a test's time.
    virtual std::size_t LargeSize() = 0;
    // After Encrypt of a large message: what this front end's message area promises of it.
    virtual void CheckLargeEnvelope(const std::u16string& /*envelope*/) {}
};

// The driver of this test program's front end, over a new main window.
std::unique_ptr<WindowDriver> MakeDriver();

}  // namespace tavorin::testing
