#include "desktop/win32/Drawing.h"

#include <windows.h>
// after windows.h
#include <objidl.h>
// after objidl.h
#include <gdiplus.h>
#include <shlwapi.h>

#include <map>
#include <memory>
#include <tuple>

namespace tavorin::win32 {

namespace {

// A function of user32 or shcore that older systems lack, or null.
template <class Function>
Function Optional(const wchar_t* module, const char* name) {
    HMODULE loaded = GetModuleHandleW(module);
    if (loaded == nullptr) {
        loaded = LoadLibraryExW(module, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    return loaded == nullptr ? nullptr
                             : reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(loaded, name)));
}

// GDI+ for the rendered pictures, started once.
void StartGdiPlus() {
    static const bool started = [] {
        ULONG_PTR token = 0;
        Gdiplus::GdiplusStartupInput input;
        return Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    }();
    (void)started;
}

std::unique_ptr<Gdiplus::Bitmap> LoadPicture(std::u16string_view name) {
    StartGdiPlus();
    const std::wstring resourceName = Wide(name);
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, resourceName.c_str(), MAKEINTRESOURCEW(10));  // RT_RCDATA
    if (found == nullptr) {
        return nullptr;
    }
    const DWORD size = SizeofResource(module, found);
    const void* bytes = LockResource(LoadResource(module, found));
    IStream* stream = SHCreateMemStream(static_cast<const BYTE*>(bytes), size);
    if (stream == nullptr) {
        return nullptr;
    }
    std::unique_ptr<Gdiplus::Bitmap> bitmap(Gdiplus::Bitmap::FromStream(stream));
    stream->Release();
    if (bitmap == nullptr || bitmap->GetLastStatus() != Gdiplus::Ok) {
        return nullptr;
    }
    return bitmap;
}

// A 32-bit top-down DIB of the picture at this size, colours premultiplied.
HBITMAP Render(std::u16string_view name, int width, int height) {
    std::unique_ptr<Gdiplus::Bitmap> source = LoadPicture(name);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP made = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (made == nullptr || source == nullptr) {
        return made;
    }
    Gdiplus::Bitmap target(width, height, width * 4, PixelFormat32bppPARGB, static_cast<BYTE*>(bits));
    Gdiplus::Graphics graphics(&target);
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    graphics.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
    graphics.DrawImage(source.get(), Gdiplus::Rect(0, 0, width, height), 0, 0, static_cast<INT>(source->GetWidth()),
                       static_cast<INT>(source->GetHeight()), Gdiplus::UnitPixel);
    return made;
}

}  // namespace

int SystemDpi() {
    static const int dpi = [] {
        HDC screen = GetDC(nullptr);
        const int found = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        return found > 0 ? found : TableDpi;
    }();
    return dpi;
}

int DpiOf(HWND window) {
    using ForWindow = UINT(WINAPI*)(HWND);                             // Windows 10 1607
    using ForMonitor = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);  // Windows 8.1
    static const auto forWindow = Optional<ForWindow>(L"user32.dll", "GetDpiForWindow");
    static const auto forMonitor = Optional<ForMonitor>(L"shcore.dll", "GetDpiForMonitor");
    if (window != nullptr && forWindow != nullptr) {
        if (const UINT dpi = forWindow(window); dpi > 0) {
            return static_cast<int>(dpi);
        }
    }
    UINT x = 0;
    UINT y = 0;
    if (window != nullptr && forMonitor != nullptr &&
        forMonitor(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), 0 /* effective */, &x, &y) == S_OK && y > 0) {
        return static_cast<int>(y);
    }
    return SystemDpi();
}

int Scale(int pixels, int dpi) { return MulDiv(pixels, dpi, TableDpi); }

RECT ScaledRect(const forms::Rect& where, int dpi) {
    return {Scale(where.left, dpi), Scale(where.top, dpi), Scale(where.left + where.width, dpi),
            Scale(where.top + where.height, dpi)};
}

RECT FrameFor(RECT client, DWORD style, DWORD exStyle, int dpi) {
    using Adjust = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);  // Windows 10 1607
    static const auto adjust = Optional<Adjust>(L"user32.dll", "AdjustWindowRectExForDpi");
    if (adjust == nullptr || !adjust(&client, style, FALSE, exStyle, static_cast<UINT>(dpi))) {
        AdjustWindowRectEx(&client, style, FALSE, exStyle);
    }
    return client;
}

HFONT FontOf(const forms::Font& font, const forms::Font& formFont, int dpi, bool underline) {
    const forms::Font& chosen = font.Empty() ? formFont : font;
    using Key = std::tuple<std::u16string, int, bool, bool, bool, int>;
    static std::map<Key, HFONT> made;
    const Key key{std::u16string(chosen.name), chosen.points, chosen.bold, chosen.fixed, underline, dpi};
    if (const auto found = made.find(key); found != made.end()) {
        return found->second;
    }
    LOGFONTW log{};
    log.lfHeight = -MulDiv(chosen.points, dpi, 72);
    log.lfWeight = chosen.bold ? FW_BOLD : FW_NORMAL;
    log.lfUnderline = underline ? TRUE : FALSE;
    log.lfCharSet = DEFAULT_CHARSET;
    log.lfQuality = CLEARTYPE_QUALITY;
    if (chosen.fixed) {
        log.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
        lstrcpynW(log.lfFaceName, L"Courier New", LF_FACESIZE);
    } else {
        lstrcpynW(log.lfFaceName, Wide(chosen.name).c_str(), LF_FACESIZE);
    }
    HFONT handle = CreateFontIndirectW(&log);
    made.emplace(key, handle);
    return handle;
}

HBITMAP Picture(std::u16string_view name, int width, int height) {
    using Key = std::tuple<std::u16string, int, int>;
    static std::map<Key, HBITMAP> made;
    const Key key{std::u16string(name), width, height};
    if (const auto found = made.find(key); found != made.end()) {
        return found->second;
    }
    HBITMAP bitmap = Render(name, width, height);
    made.emplace(key, bitmap);
    return bitmap;
}

void DrawPicture(HDC dc, std::u16string_view name, const RECT& where) {
    const int width = where.right - where.left;
    const int height = where.bottom - where.top;
    HBITMAP bitmap = Picture(name, width, height);
    if (bitmap == nullptr) {
        return;
    }
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(source, bitmap);
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    GdiAlphaBlend(dc, where.left, where.top, width, height, source, 0, 0, width, height, blend);
    SelectObject(source, old);
    DeleteDC(source);
}

HICON ProgramIcon(int side) {
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, side, side, 0));
}

HCURSOR LabelPointer(int dpi) {
    static std::map<int, HCURSOR> made;
    if (const auto found = made.find(dpi); found != made.end()) {
        return found->second;
    }
    const int side = Scale(32, dpi);
    HBITMAP colour = Render(u"pointer", side, side);
    HBITMAP mask = CreateBitmap(side, side, 1, 1, nullptr);
    // Hot spot at the fingertip of the 32 x 32 drawing.
    ICONINFO info{FALSE, static_cast<DWORD>(Scale(11, dpi)), static_cast<DWORD>(Scale(1, dpi)), mask, colour};
    HCURSOR pointer = CreateIconIndirect(&info);
    DeleteObject(mask);
    DeleteObject(colour);
    if (pointer == nullptr) {
        pointer = LoadCursorW(nullptr, IDC_HAND);
    }
    made.emplace(dpi, pointer);
    return pointer;
}

}  // namespace tavorin::win32
