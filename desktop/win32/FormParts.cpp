#include "desktop/win32/FormParts.h"

#include <windows.h>
// after windows.h
#include <commctrl.h>
#include <objidl.h>
// after objidl.h
#include <gdiplus.h>
#include <shlwapi.h>

#include <map>
#include <memory>
#include <tuple>

#include "desktop/Contrast.h"

namespace tavorin::win32 {

namespace {

int Dpi() {
    static const int dpi = [] {
        HDC screen = GetDC(nullptr);
        const int found = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        return found > 0 ? found : 96;
    }();
    return dpi;
}

constexpr wchar_t FormClass[] = L"TavorinForm";
constexpr wchar_t LabelClass[] = L"TavorinLabel";

int openForms = 0;

struct LabelState {
    const forms::Control* row = nullptr;
    COLORREF colour = CLR_INVALID;  // the system's button text
    HFONT font = nullptr;
    HFONT boldFont = nullptr;
    bool bold = false;
    HCURSOR cursor = nullptr;
    bool pressed = false;
};

LabelState* StateOf(HWND label) { return reinterpret_cast<LabelState*>(GetWindowLongPtrW(label, GWLP_USERDATA)); }

void NotifyParent(HWND label, WORD code) {
    SendMessageW(GetParent(label), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(label), code), reinterpret_cast<LPARAM>(label));
}

void PaintLabel(HWND label, LabelState& state) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(label, &paint);
    RECT client;
    GetClientRect(label, &client);
    // Drawn off screen first: the form's backdrop, then the text or picture, in one step.
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP canvas = CreateCompatibleBitmap(dc, client.right, client.bottom);
    HGDIOBJ oldCanvas = SelectObject(memory, canvas);
    POINT origin{0, 0};
    MapWindowPoints(label, GetParent(label), &origin, 1);
    SetWindowOrgEx(memory, origin.x, origin.y, nullptr);
    SendMessageW(GetParent(label), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT | PRF_ERASEBKGND);
    SetWindowOrgEx(memory, 0, 0, nullptr);

    const forms::Control& row = *state.row;
    if (row.kind == forms::Kind::Picture) {
        DrawPicture(memory, row.picture, client);
    } else {
        const int length = GetWindowTextLengthW(label);
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        GetWindowTextW(label, text.data(), length + 1);
        text.resize(static_cast<std::size_t>(length));
        HGDIOBJ oldFont = SelectObject(memory, state.bold && state.boldFont ? state.boldFont : state.font);
        SetBkMode(memory, TRANSPARENT);
        SetTextColor(memory, state.colour == CLR_INVALID ? GetSysColor(COLOR_BTNTEXT) : state.colour);
        UINT format = DT_LEFT | DT_NOPREFIX;
        format |= row.wrap ? (DT_WORDBREAK | DT_TOP) : (DT_SINGLELINE | DT_VCENTER);
        RECT box = client;
        DrawTextW(memory, text.c_str(), length, &box, format);
        SelectObject(memory, oldFont);
    }
    if (GetFocus() == label && (SendMessageW(label, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS) == 0) {
        DrawFocusRect(memory, &client);
    }
    BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
    SelectObject(memory, oldCanvas);
    DeleteObject(canvas);
    DeleteDC(memory);
    EndPaint(label, &paint);
}

LRESULT CALLBACK LabelProcedure(HWND label, UINT message, WPARAM wParam, LPARAM lParam) {
    LabelState* state = StateOf(label);
    switch (message) {
    case WM_NCCREATE: {
        const auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(label, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        break;
    }
    case WM_NCDESTROY:
        delete state;
        SetWindowLongPtrW(label, GWLP_USERDATA, 0);
        break;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        PaintLabel(label, *state);
        return 0;
    case WM_SETTEXT: {
        const LRESULT done = DefWindowProcW(label, message, wParam, lParam);
        InvalidateRect(label, nullptr, FALSE);
        return done;
    }
    case WM_SETFONT:
        state->font = reinterpret_cast<HFONT>(wParam);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(state->font);
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_UPDATEUISTATE:
        InvalidateRect(label, nullptr, FALSE);
        break;
    case WM_SETCURSOR:
        // The form first: it shows the hourglass while it works.
        if (SendMessageW(GetParent(label), WM_SETCURSOR, wParam, lParam) != 0) {
            return TRUE;
        }
        if (state->cursor != nullptr && LOWORD(lParam) == HTCLIENT) {
            SetCursor(state->cursor);
            return TRUE;
        }
        break;
    case WM_MOUSEMOVE:
        NotifyParent(label, LabelHovered);
        return 0;
    case WM_LBUTTONDOWN:
        state->pressed = true;
        SetCapture(label);
        return 0;
    case WM_LBUTTONUP: {
        const bool pressed = state->pressed;
        state->pressed = false;
        ReleaseCapture();
        RECT client;
        GetClientRect(label, &client);
        const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        if (pressed && PtInRect(&client, at)) {
            NotifyParent(label, STN_CLICKED);
        }
        return 0;
    }
    case WM_GETDLGCODE: {
        // Enter and Space press a label-button that has the focus.
        const auto* msg = reinterpret_cast<const MSG*>(lParam);
        if (msg != nullptr && msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN) {
            return DLGC_WANTMESSAGE;
        }
        return DLGC_WANTCHARS;
    }
    case WM_KEYDOWN:
        if (wParam == VK_RETURN || wParam == VK_SPACE) {
            NotifyParent(label, STN_CLICKED);
            return 0;
        }
        break;
    case WM_CHAR:
        return 0;
    default:
        break;
    }
    return DefWindowProcW(label, message, wParam, lParam);
}

void RegisterClasses() {
    static const bool registered = [] {
        WNDCLASSEXW form{};
        form.cbSize = sizeof form;
        form.style = CS_HREDRAW | CS_VREDRAW;
        form.lpfnWndProc = DefWindowProcW;  // replaced per window
        form.hInstance = GetModuleHandleW(nullptr);
        form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        form.lpszClassName = FormClass;
        form.hIcon = ProgramIcon(GetSystemMetrics(SM_CXICON));
        form.hIconSm = ProgramIcon(GetSystemMetrics(SM_CXSMICON));
        RegisterClassExW(&form);
        WNDCLASSEXW label{};
        label.cbSize = sizeof label;
        label.lpfnWndProc = LabelProcedure;
        label.hInstance = GetModuleHandleW(nullptr);
        label.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        label.lpszClassName = LabelClass;
        RegisterClassExW(&label);
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
        InitCommonControlsEx(&controls);
        return true;
    }();
    (void)registered;
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

// The system's colour of links where it reads on the form, else its highlight, else blue.
COLORREF LinkColour() {
    const auto rgb = [](COLORREF c) { return Rgb::FromBytes(GetRValue(c), GetGValue(c), GetBValue(c)); };
    const Rgb face = rgb(GetSysColor(COLOR_BTNFACE));
    for (const int index : {COLOR_HOTLIGHT, COLOR_HIGHLIGHT}) {
        if (Contrast(rgb(GetSysColor(index)), face) >= 4.5) {
            return GetSysColor(index);
        }
    }
    return RGB(0, 0, 0xee);
}

}  // namespace

int Scale(int pixels) { return MulDiv(pixels, Dpi(), 96); }

RECT ScaledRect(const forms::Rect& where) {
    return {Scale(where.left), Scale(where.top), Scale(where.left + where.width), Scale(where.top + where.height)};
}

HFONT FontOf(const forms::Font& font, const forms::Font& formFont, bool underline) {
    const forms::Font& chosen = font.Empty() ? formFont : font;
    using Key = std::tuple<std::u16string, int, bool, bool, bool>;
    static std::map<Key, HFONT> made;
    const Key key{std::u16string(chosen.name), chosen.points, chosen.bold, chosen.fixed, underline};
    if (const auto found = made.find(key); found != made.end()) {
        return found->second;
    }
    LOGFONTW log{};
    log.lfHeight = -MulDiv(chosen.points, Dpi(), 72);
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

HCURSOR LabelPointer() {
    static const HCURSOR pointer = [] {
        const int side = Scale(32);
        HBITMAP colour = Render(u"pointer", side, side);
        HBITMAP mask = CreateBitmap(side, side, 1, 1, nullptr);
        // Hot spot at the fingertip of the 32 x 32 drawing.
        ICONINFO info{FALSE, static_cast<DWORD>(Scale(11)), static_cast<DWORD>(Scale(1)), mask, colour};
        HCURSOR made = CreateIconIndirect(&info);
        DeleteObject(mask);
        DeleteObject(colour);
        return made != nullptr ? made : LoadCursorW(nullptr, IDC_HAND);
    }();
    return pointer;
}

void SetLabelColour(HWND label, COLORREF colour) {
    LabelState* state = StateOf(label);
    if (state != nullptr && state->colour != colour) {
        state->colour = colour;
        InvalidateRect(label, nullptr, FALSE);
    }
}

void SetLabelBold(HWND label, bool bold) {
    LabelState* state = StateOf(label);
    if (state != nullptr && state->bold != bold) {
        state->bold = bold;
        InvalidateRect(label, nullptr, FALSE);
    }
}

void SetLabelCursor(HWND label, HCURSOR cursor) {
    if (LabelState* state = StateOf(label)) {
        state->cursor = cursor;
    }
}

// The form window.

FormWindow::FormWindow(const forms::Form& form) : form_(form) {}

FormWindow::~FormWindow() {
    if (hwnd_ != nullptr) {
        DestroyWindow(hwnd_);
    }
}

int FormWindow::OpenForms() noexcept { return openForms; }

HWND FormWindow::Control(std::string_view name) const { return GetDlgItem(hwnd_, ControlId(name)); }

int FormWindow::ControlId(std::string_view name) const {
    const forms::Control& row = form_[name];
    return FirstControlId + static_cast<int>(&row - form_.controls.data());
}

void FormWindow::Create(HWND over, DWORD style) {
    RegisterClasses();
    formFont_ = FontOf(form_.font, form_.font);
    RECT frame{0, 0, Scale(form_.width), Scale(form_.height)};
    const DWORD exStyle = WS_EX_CONTROLPARENT;
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT area{};
    if (over != nullptr) {
        GetWindowRect(over, &area);
    } else {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    }
    const int left = std::max(0L, area.left + (area.right - area.left - width) / 2);
    const int top = std::max(0L, area.top + (area.bottom - area.top - height) / 2);
    const std::wstring caption = Wide(form_.caption);
    hwnd_ = CreateWindowExW(exStyle, FormClass, caption.c_str(), style, left, top, width, height, nullptr, nullptr,
                            GetModuleHandleW(nullptr), this);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FormWindow::Procedure));
    ++openForms;
    tooltips_ = CreateWindowExW(
        WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX | TTS_NOFADE | TTS_NOANIMATE,
        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(tooltips_, TTM_SETMAXTIPWIDTH, 0, Scale(400));
    CreateControls();
}

void FormWindow::Show() {
    ShowWindow(hwnd_, IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(hwnd_);
}

HWND FormWindow::AddControl(std::string_view name) {
    const forms::Control& row = form_[name];
    const RECT at = ScaledRect(row.where);
    const int width = at.right - at.left;
    const int height = at.bottom - at.top;
    const std::wstring caption = Wide(row.caption);
    const auto id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(name)));
    HINSTANCE instance = GetModuleHandleW(nullptr);
    const wchar_t* windowClass = LabelClass;
    // A control made later lies below one made before, and is not drawn over it.
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    DWORD exStyle = 0;
    void* parameter = nullptr;
    int madeHeight = height;
    switch (row.kind) {
    case forms::Kind::Label:
    case forms::Kind::Picture:
        break;
    case forms::Kind::LabelButton:
    case forms::Kind::Link:
        style |= WS_TABSTOP;
        break;
    case forms::Kind::TextBox:
        windowClass = WC_EDITW;
        style |= WS_TABSTOP | ES_AUTOHSCROLL;
        exStyle = WS_EX_CLIENTEDGE;
        break;
    case forms::Kind::MessageArea:
        windowClass = WC_EDITW;
        style |= WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | ES_NOHIDESEL;
        exStyle = WS_EX_CLIENTEDGE;
        break;
    case forms::Kind::TextView:
        windowClass = WC_EDITW;
        style |= WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;
        exStyle = WS_EX_CLIENTEDGE;
        break;
    case forms::Kind::ComboBox:
        windowClass = WC_COMBOBOXW;
        style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
        madeHeight = Scale(200);  // with its list open
        break;
    case forms::Kind::CheckBox:
        windowClass = WC_BUTTONW;
        style |= WS_TABSTOP | BS_AUTOCHECKBOX;
        break;
    case forms::Kind::PushButton:
        windowClass = WC_BUTTONW;
        style |= WS_TABSTOP | BS_PUSHBUTTON;
        break;
    case forms::Kind::Line:
        windowClass = WC_STATICW;
        style |= row.where.width >= row.where.height ? SS_ETCHEDHORZ : SS_ETCHEDVERT;
        break;
    case forms::Kind::Shape:
        return nullptr;  // drawn by the form
    case forms::Kind::Progress:
        windowClass = PROGRESS_CLASSW;
        style &= ~WS_VISIBLE;
        break;
    }
    if (windowClass == LabelClass) {
        parameter = new LabelState{&row};
    }
    HWND control = CreateWindowExW(exStyle, windowClass, caption.c_str(), style, at.left, at.top, width, madeHeight,
                                   hwnd_, id, instance, parameter);
    if (control == nullptr) {
        delete static_cast<LabelState*>(parameter);
        return nullptr;
    }
    const bool underline = row.kind == forms::Kind::Link;
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(row.font, form_.font, underline)), FALSE);
    if (windowClass == LabelClass && row.font.bold) {
        StateOf(control)->boldFont = StateOf(control)->font;
    } else if (windowClass == LabelClass) {
        forms::Font bold = row.font.Empty() ? form_.font : row.font;
        bold.bold = true;
        StateOf(control)->boldFont = FontOf(bold, form_.font, underline);
    }
    if (row.kind == forms::Kind::Link) {
        SetLabelColour(control, LinkColour());
        SetLabelCursor(control, LoadCursorW(nullptr, IDC_HAND));
    }
    if (!row.tooltip.empty()) {
        SetTooltip(control, row.tooltip);
    }
    return control;
}

void FormWindow::SetTooltip(HWND control, std::u16string_view text) {
    std::wstring tip = Wide(text);
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = tip.data();
    if (SendMessageW(tooltips_, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool)) != 0) {
        tool.lpszText = tip.data();
        SendMessageW(tooltips_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    } else {
        SendMessageW(tooltips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void FormWindow::ApplyTabOrder() {
    HWND previous = HWND_TOP;
    for (const std::string_view name : form_.tabOrder) {
        HWND control = Control(name);
        SetWindowPos(control, previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        previous = control;
    }
}

void FormWindow::PaintBackdrop(HDC dc) {
    RECT client;
    GetClientRect(hwnd_, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
}

void FormWindow::Command(int, WORD, HWND) {}

void FormWindow::Closing() { DestroyWindow(hwnd_); }

LRESULT FormWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(hwnd_, &paint);
        PaintBackdrop(dc);
        EndPaint(hwnd_, &paint);
        return 0;
    }
    case WM_PRINTCLIENT:
        PaintBackdrop(reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_COMMAND:
        Command(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_CLOSE:
        Closing();
        return 0;
    default:
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    }
}

LRESULT CALLBACK FormWindow::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* form = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (form == nullptr) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        form->hwnd_ = nullptr;
        form->tooltips_ = nullptr;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        if (--openForms == 0) {
            PostQuitMessage(0);
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return form->OnMessage(message, wParam, lParam);
}

bool FormWindow::PreTranslate(MSG& msg) {
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    if (root == nullptr) {
        return false;
    }
    wchar_t className[32] = {};
    GetClassNameW(root, className, 32);
    if (lstrcmpW(className, FormClass) != 0) {
        return false;
    }
    // Tab leaves the message area rather than going into the text.
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB && (GetKeyState(VK_CONTROL) & 0x8000) == 0) {
        wchar_t focusClass[32] = {};
        GetClassNameW(msg.hwnd, focusClass, 32);
        if (lstrcmpiW(focusClass, WC_EDITW) == 0 && (GetWindowLongPtrW(msg.hwnd, GWL_STYLE) & ES_MULTILINE) != 0) {
            const bool back = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
            SetFocus(GetNextDlgTabItem(root, msg.hwnd, back ? TRUE : FALSE));
            return true;
        }
    }
    return IsDialogMessageW(root, &msg) != FALSE;
}

}  // namespace tavorin::win32
