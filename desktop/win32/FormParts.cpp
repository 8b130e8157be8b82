#include "desktop/win32/FormParts.h"

#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <algorithm>

namespace tavorin::win32 {

namespace {

constexpr wchar_t FormClass[] = L"TavorinForm";

int openForms = 0;

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
        RegisterLabelClass();
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
        InitCommonControlsEx(&controls);
        return true;
    }();
    (void)registered;
}

}  // namespace

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
    style_ = style;
    dpi_ = DpiOf(over);
    const RECT frame = FrameFor({0, 0, Scale(form_.width), Scale(form_.height)}, style, WS_EX_CONTROLPARENT, dpi_);
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
    hwnd_ = CreateWindowExW(WS_EX_CONTROLPARENT, FormClass, caption.c_str(), style, left, top, width, height, nullptr,
                            nullptr, GetModuleHandleW(nullptr), this);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FormWindow::Procedure));
    ++openForms;
    tooltips_ = CreateWindowExW(
        WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX | TTS_NOFADE | TTS_NOANIMATE,
        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(tooltips_, TTM_SETMAXTIPWIDTH, 0, Scale(400));
    CreateControls();
    // Opened on a monitor of other dots an inch than its owner's.
    if (const int dpi = DpiOf(hwnd_); dpi != dpi_) {
        ApplyDpi(dpi, nullptr);
    }
}

RECT FormWindow::ControlRect(const forms::Control& row) const {
    RECT at = ScaledRect(row.where);
    if (row.kind == forms::Kind::ComboBox) {
        at.bottom = at.top + Scale(200);  // with its list open
    }
    return at;
}

void FormWindow::ApplyFont(HWND control, const forms::Control& row) {
    const bool underline = row.kind == forms::Kind::Link;
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(Font(row.font, underline)), FALSE);
    wchar_t className[32] = {};
    GetClassNameW(control, className, 32);
    if (lstrcmpW(className, LabelClass) == 0) {
        forms::Font bold = row.font.Empty() ? form_.font : row.font;
        bold.bold = true;
        SetLabelFonts(control, Font(row.font, underline), Font(bold, underline));
    }
}

void FormWindow::ApplyDpi(int dpi, const RECT* suggested) {
    dpi_ = dpi;
    const RECT frame = FrameFor({0, 0, Scale(form_.width), Scale(form_.height)}, style_, WS_EX_CONTROLPARENT, dpi_);
    RECT now{};
    GetWindowRect(hwnd_, &now);
    const POINT at = suggested != nullptr ? POINT{suggested->left, suggested->top} : POINT{now.left, now.top};
    SetWindowPos(hwnd_, nullptr, at.x, at.y, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    // A frame the system draws at other dots an inch than these (a process unaware of each
    // monitor's) leaves another client area: made good.
    RECT client{};
    GetClientRect(hwnd_, &client);
    const int wider = Scale(form_.width) - client.right;
    const int higher = Scale(form_.height) - client.bottom;
    if (wider != 0 || higher != 0) {
        SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left + wider, frame.bottom - frame.top + higher,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    }
    for (const forms::Control& row : form_.controls) {
        if (HWND control = Control(row.name)) {
            const RECT place = ControlRect(row);
            SetWindowPos(control, nullptr, place.left, place.top, place.right - place.left, place.bottom - place.top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            ApplyFont(control, row);
        }
    }
    SendMessageW(tooltips_, TTM_SETMAXTIPWIDTH, 0, Scale(400));
    DpiChanged();
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void FormWindow::Show() {
    ShowWindow(hwnd_, IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(hwnd_);
}

HWND FormWindow::AddControl(std::string_view name) {
    const forms::Control& row = form_[name];
    const RECT at = ControlRect(row);
    const std::wstring caption = Wide(row.caption);
    const auto id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(name)));
    HINSTANCE instance = GetModuleHandleW(nullptr);
    const wchar_t* windowClass = LabelClass;
    // A control made later lies below one made before, and is not drawn over it.
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    DWORD exStyle = 0;
    void* parameter = nullptr;
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
        parameter = NewLabelState(row);
    }
    HWND control = CreateWindowExW(exStyle, windowClass, caption.c_str(), style, at.left, at.top, at.right - at.left,
                                   at.bottom - at.top, hwnd_, id, instance, parameter);
    if (control == nullptr) {
        DeleteLabelState(parameter);
        return nullptr;
    }
    ApplyFont(control, row);
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
    case WM_DPICHANGED:
        // Moved to a monitor of other dots an inch: everything drawn anew at them, where the
        // system suggests.
        ApplyDpi(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
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
