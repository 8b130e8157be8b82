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

    // The dots an inch the form is drawn at, and the tables' pixels, places and fonts at them.
    int Dpi() const noexcept { return dpi_; }
    int Scale(int pixels) const noexcept { return win32::Scale(pixels, dpi_); }
    RECT ScaledRect(const forms::Rect& where) const { return win32::ScaledRect(where, dpi_); }
    HFONT Font(const forms::Font& font, bool underline = false) const {
        return FontOf(font, form_.font, dpi_, underline);
    }

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
    // After the form moved to a screen of other dots an inch and its controls were placed and
    // given their fonts anew from the table: what the form changed of them.
    virtual void DpiChanged() {}

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // Places the controls, gives them their fonts, and sizes the window around its client area.
    void ApplyDpi(int dpi, const RECT* suggested);
    void ApplyFont(HWND control, const forms::Control& row);
    RECT ControlRect(const forms::Control& row) const;

    const forms::Form& form_;
    HWND hwnd_ = nullptr;
    HWND tooltips_ = nullptr;
    DWORD style_ = 0;
    int dpi_ = TableDpi;
};

}  // namespace tavorin::win32
