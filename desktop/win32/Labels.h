#pragma once
// Labels, label-buttons, links and pictures of the forms: windows of one class of their own,
// drawn over their form's backdrop (the background picture shows through them) and able to
// take the focus. A label tells its form of a click and of the pointer over it.

#include <windows.h>
#undef Yield  // 16-bit Windows' own; the window interface has one

#include "desktop/Forms.h"

namespace tavorin::win32 {

inline constexpr wchar_t LabelClass[] = L"TavorinLabel";

// Notifications a label sends its form in WM_COMMAND, beside STN_CLICKED for a click.
inline constexpr WORD LabelHovered = 0x100;

void RegisterLabelClass();
// The state a label is created with (CreateWindowEx's parameter), and its undoing when the
// window could not be made.
void* NewLabelState(const forms::Control& row);
void DeleteLabelState(void* state);
void SetLabelFonts(HWND label, HFONT font, HFONT bold);
// The system's colour of links where it reads on the form, else its highlight, else blue.
COLORREF LinkColour();

// The label class's state, changed through these.
void SetLabelColour(HWND label, COLORREF colour);
void SetLabelBold(HWND label, bool bold);
void SetLabelCursor(HWND label, HCURSOR cursor);

}  // namespace tavorin::win32
