#include "desktop/win32/Labels.h"

#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <string>

#include "desktop/Contrast.h"
#include "desktop/win32/Drawing.h"

namespace tavorin::win32 {

namespace {

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

}  // namespace

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

void RegisterLabelClass() {
    WNDCLASSEXW label{};
    label.cbSize = sizeof label;
    label.lpfnWndProc = LabelProcedure;
    label.hInstance = GetModuleHandleW(nullptr);
    label.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    label.lpszClassName = LabelClass;
    RegisterClassExW(&label);
}

void* NewLabelState(const forms::Control& row) { return new LabelState{&row}; }

void DeleteLabelState(void* state) { delete static_cast<LabelState*>(state); }

void SetLabelFonts(HWND label, HFONT font, HFONT bold) {
    if (LabelState* state = StateOf(label)) {
        state->font = font;
        state->boldFont = bold;
        InvalidateRect(label, nullptr, FALSE);
    }
}

}  // namespace tavorin::win32
