#pragma once
// The Win32 forms' common parts: a form window made from a table of desktop/Forms.h, its
// controls, fonts and pictures, sized for the screen's dots per inch. Labels, label-buttons,
// links and pictures are windows of one class of their own, drawn over their form's
// backdrop (the background picture shows through them) and able to take the focus.

#include <windows.h>
#undef Yield  // 16-bit Windows' own; the window interface has one

#include <string>
#include <string_view>

#include "desktop/Forms.h"

namespace tavorin::win32 {

// wchar_t holds UTF-16 on Windows: the same text without a copy of its meaning.
inline std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
inline std::u16string Utf16(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

// Pixels of the tables (96 dots an inch) on this screen.
int Scale(int pixels);
RECT ScaledRect(const forms::Rect& where);

// A font of the tables; made once and kept for the program's life. An empty font is the form's.
HFONT FontOf(const forms::Font& font, const forms::Font& formFont, bool underline = false);

// A picture of the program's resources at this size, its colours premultiplied for AlphaBlend;
// kept for the program's life.
HBITMAP Picture(std::u16string_view name, int width, int height);
void DrawPicture(HDC dc, std::u16string_view name, const RECT& where);
HICON ProgramIcon(int side);
HCURSOR LabelPointer();

// Notifications a label sends its form in WM_COMMAND, beside STN_CLICKED for a click.
inline constexpr WORD LabelHovered = 0x100;

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

// The label class's state, changed through these.
void SetLabelColour(HWND label, COLORREF colour);
void SetLabelBold(HWND label, bool bold);
void SetLabelCursor(HWND label, HCURSOR cursor);

}  // namespace tavorin::win32
