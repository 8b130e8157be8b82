#pragma once
// What the Win32 forms draw with: the tables' pixels and fonts at the screen's dots per inch,
// and the program's pictures, rendered from its resources at the size they are shown at.

#include <windows.h>
#undef Yield  // 16-bit Windows' own; the window interface has one

#include <string>
#include <string_view>

#include "desktop/Forms.h"

namespace tavorin::win32 {

// wchar_t holds UTF-16 on Windows: the same text without a copy of its meaning.
inline std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
inline std::u16string Utf16(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

// The dots an inch of the tables' pixels.
inline constexpr int TableDpi = 96;
// The dots an inch a window is drawn at: those of its monitor where the system tells them
// (Windows 8.1 and later, the program being aware of each monitor's), else the system's.
int DpiOf(HWND window);
int SystemDpi();

// Pixels of the tables at these dots an inch.
int Scale(int pixels, int dpi);
RECT ScaledRect(const forms::Rect& where, int dpi);
// The window rectangle whose client area is this, at these dots an inch.
RECT FrameFor(RECT client, DWORD style, DWORD exStyle, int dpi);

// A font of the tables at these dots an inch; made once and kept for the program's life. An
// empty font is the form's.
HFONT FontOf(const forms::Font& font, const forms::Font& formFont, int dpi, bool underline = false);

// A picture of the program's resources at this size, its colours premultiplied for AlphaBlend;
// kept for the program's life.
HBITMAP Picture(std::u16string_view name, int width, int height);
void DrawPicture(HDC dc, std::u16string_view name, const RECT& where);
HICON ProgramIcon(int side);
HCURSOR LabelPointer(int dpi);

}  // namespace tavorin::win32
