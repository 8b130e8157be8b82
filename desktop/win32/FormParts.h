#pragma once
// The Win32 forms' common part: a form window made from a table of desktop/Forms.h, with its
// controls, fonts and pictures sized for the screen's dots per inch.

#include <windows.h>
#undef Yield  // 16-bit Windows' own; the window interface has one

#include <string>
#include <string_view>

#include "desktop/Forms.h"
#include "desktop/win32/Drawing.h"
#include "desktop/win32/Labels.h"

namespace tavorin::win32 {

// A control's window id in its form: its row's index plus this.
inline constexpr int FirstControlId = 100;

class FormWindow {
public:
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;
    virtual ~FormWindow();

    HWND Handle() const noexcept { return hwnd_; }
    const forms::Form& Table() const noexcept { return form_; }
    // The control of a row's name.
    HWND Control(std::string_view name) const;
    int ControlId(std::string_view name) const;
    // Shows the form and brings it forward.
    void Show();

    // Handles the keys that move between controls and press buttons; true when it took msg.
    static bool PreTranslate(MSG& msg);
    // Windows of this program open now; the program ends with the last.
    static int OpenForms() noexcept;

protected:
    explicit FormWindow(const forms::Form& form);
    // Makes the window, centred over `over` (the screen when null); Create() then calls
    // CreateControls.
    void Create(HWND over, DWORD style);
    virtual void CreateControls() = 0;
    // Makes the control of a row with its kind's window, font, tooltip and tab stop.
    HWND AddControl(std::string_view name);
    // Puts the tab stops in the table's order.
    void ApplyTabOrder();
    void SetTooltip(HWND control, std::u16string_view text);
    // What shows behind the labels: the form's colour, or a picture.
    virtual void PaintBackdrop(HDC dc);
    virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // A click of a control (also a label's), or a menu or key command.
    virtual void Command(int id, WORD code, HWND control);
    virtual void Closing();

    HFONT formFont_ = nullptr;

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    const forms::Form& form_;
    HWND hwnd_ = nullptr;
    HWND tooltips_ = nullptr;
};

}  // namespace tavorin::win32
