#include "desktop/win32/frmMain.h"

#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <array>
#include <optional>

#include "base/Version.h"
#include "desktop/Contrast.h"
#include "desktop/FormTexts.h"
#include "desktop/win32/Platform.h"
#include "desktop/win32/frmAbout.h"
#include "desktop/win32/frmDonate.h"
#include "desktop/win32/frmLinks.h"
#include "engines/Registry.h"

namespace tavorin::win32 {

namespace {

constexpr int FirstMenuId = 2000;
constexpr DWORD MainStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

Rgb ToRgb(COLORREF colour) { return Rgb::FromBytes(GetRValue(colour), GetGValue(colour), GetBValue(colour)); }

COLORREF ToColorRef(Rgb colour) {
    return RGB(static_cast<int>(colour.red * 255 + 0.5), static_cast<int>(colour.green * 255 + 0.5),
               static_cast<int>(colour.blue * 255 + 0.5));
}

// The first of the system colours that the rule chooses, or the rule's own colour.
template <class Choose>
COLORREF Chosen(std::initializer_list<int> indexes, Choose choose, Rgb fallback) {
    std::vector<Rgb> colours;
    for (const int index : indexes) {
        colours.push_back(ToRgb(GetSysColor(index)));
    }
    const std::optional<std::size_t> chosen = choose(colours);
    return chosen ? GetSysColor(*(indexes.begin() + *chosen)) : ToColorRef(fallback);
}

// The label-buttons at rest: the highlight-text colour, or the next one that stays readable
// on the background picture.
COLORREF RestColourRef() {
    return Chosen(
        {COLOR_HIGHLIGHTTEXT, COLOR_BTNHIGHLIGHT, COLOR_3DLIGHT},
        [](std::span<const Rgb> colours) { return RestColour(colours); }, RestFallback);
}

// Under the pointer: the application-workspace colour, or the next one unlike the rest colour.
COLORREF HoverColourRef() {
    const Rgb rest = ToRgb(RestColourRef());
    return Chosen(
        {COLOR_APPWORKSPACE, COLOR_BTNSHADOW, COLOR_3DLIGHT, COLOR_BTNHIGHLIGHT},
        [rest](std::span<const Rgb> colours) { return HoverColour(rest, colours); }, HoverFallback);
}

int CALLBACK FoundFont(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool FontInstalled(const wchar_t* name) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(wanted.lfFaceName, name, LF_FACESIZE);
    bool found = false;
    HDC screen = GetDC(nullptr);
    EnumFontFamiliesExW(screen, &wanted, FoundFont, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

// "Ctrl+Shift+C" as an accelerator's flags and key.
ACCEL ParseKeys(std::string_view keys, WORD command) {
    ACCEL made{FVIRTKEY, 0, command};
    while (!keys.empty()) {
        const std::size_t plus = keys.find('+');
        const std::string_view part = keys.substr(0, plus);
        if (part == "Ctrl") {
            made.fVirt |= FCONTROL;
        } else if (part == "Shift") {
            made.fVirt |= FSHIFT;
        } else if (part == "Alt") {
            made.fVirt |= FALT;
        } else if (part.size() == 1) {
            made.key = static_cast<WORD>(part[0]);
        }
        keys = plus == std::string_view::npos ? std::string_view() : keys.substr(plus + 1);
    }
    return made;
}

UINT MenuId(std::string_view name) {
    const auto& items = forms::Main.menu;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].name == name) {
            return FirstMenuId + static_cast<UINT>(i);
        }
    }
    return 0;
}

}  // namespace

frmMain::frmMain(Desktop& desktop) : FormWindow(forms::Main), desktop_(desktop) {
    Create(nullptr, MainStyle);
    CreateMenu();
    CreateShortcuts();
    Form_Load();
}

frmMain::~frmMain() {
    if (mnuMenu != nullptr) {
        DestroyMenu(mnuMenu);
    }
    if (accelerators_ != nullptr) {
        DestroyAcceleratorTable(accelerators_);
    }
}

void frmMain::CreateControls() {
    wingdings_ = FontInstalled(L"Wingdings 2");
    const forms::Form& form = Table();
    // Created from the top: a window made later lies below, and the table lists the bottom first.
    for (auto row = form.controls.rbegin(); row != form.controls.rend(); ++row) {
        AddControl(row->name);
    }
    txtMessage = Control("txtMessage");
    txtEncKey = Control("txtEncKey");
    cboEncryption = Control("cboEncryption");
    cboEncPasses = Control("cboEncPasses");
    chkShowKey = Control("chkShowKey");
    lblLength = Control("lblLength");
    lblResult = Control("lblResult");
    lblVersion = Control("lblVersion");
    prgWork = Control("prgWork");
    for (const char* name : {"lblEncrypt", "lblDecrypt", "lblCopyText", "lblClear", "lblQuit", "lblMenu"}) {
        labelButtons_.push_back(Control(name));
    }
    ApplyPointers();

    // The message area: plain text of any length, its changes told to the form.
    SendMessageW(txtMessage, EM_SETLIMITTEXT, 0, 0);
    SetWindowSubclass(txtMessage, &frmMain::MessageAreaProcedure, 1, reinterpret_cast<DWORD_PTR>(this));
    MeasurePairs();
    SendMessageW(chkShowKey, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(prgWork, PBM_SETRANGE32, 0, 100);
    for (const char* name : {"cmdDecrypt", "cmdEncrypt", "cmdQuit", "cmdCopy", "cmdClear"}) {
        // The push buttons the label-buttons stand for, outside the client area, never in the tab order.
        SetWindowLongPtrW(Control(name), GWL_STYLE, GetWindowLongPtrW(Control(name), GWL_STYLE) & ~WS_TABSTOP);
    }
    ApplyTabOrder();
    ApplyColours();
    SetFocus(txtMessage);
}

void frmMain::ApplyPointers() {
    for (HWND label : labelButtons_) {
        SetLabelCursor(label, LabelPointer(Dpi()));
    }
    SetLabelCursor(lblVersion, LabelPointer(Dpi()));
}

void frmMain::MeasurePairs() {
    // As many pairs as fit the area's width, for an envelope shown folded.
    RECT area;
    GetClientRect(txtMessage, &area);
    HDC dc = GetDC(txtMessage);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(txtMessage, WM_GETFONT, 0, 0)));
    SIZE pair{};
    GetTextExtentPoint32W(dc, L"00 ", 3, &pair);
    SelectObject(dc, old);
    ReleaseDC(txtMessage, dc);
    if (pair.cx > 0) {
        pairsPerLine_ =
            std::max<std::size_t>(1, static_cast<std::size_t>((area.right - area.left - Scale(8)) / pair.cx));
    }
}

void frmMain::DpiChanged() {
    ApplyPointers();
    ApplyKeyDisplay();
    const std::size_t before = pairsPerLine_;
    MeasurePairs();
    if (pairsPerLine_ != before && !textFromControl_ && !CommandRunning()) {
        ShowText();
    }
}

void frmMain::CreateMenu() {
    mnuMenu = CreatePopupMenu();
    HMENU submenu = nullptr;
    const auto& items = Table().menu;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const forms::MenuItem& item = items[i];
        HMENU into = item.depth == 0 ? mnuMenu : submenu;
        const UINT id = FirstMenuId + static_cast<UINT>(i);
        const std::wstring caption = Wide(item.caption);
        if (!item.submenuName.empty()) {
            submenu = CreatePopupMenu();
            AppendMenuW(mnuMenu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(submenu), caption.c_str());
        } else if (item.caption.empty()) {
            AppendMenuW(into, MF_SEPARATOR, 0, nullptr);
        } else {
            AppendMenuW(into, MF_STRING, id, caption.c_str());
            if (item.checkable) {
                MENUITEMINFOW info{};
                info.cbSize = sizeof info;
                info.fMask = MIIM_FTYPE;
                info.fType = MFT_STRING | MFT_RADIOCHECK;
                SetMenuItemInfoW(into, id, FALSE, &info);
            }
        }
    }
    CheckMenuItem(mnuMenu, MenuId("mnuEncodingAnsi"), MF_BYCOMMAND | MF_CHECKED);  // the first of the group
}

void frmMain::CreateShortcuts() {
    std::vector<ACCEL> keys;
    for (const forms::Shortcut& shortcut : Table().shortcuts) {
        keys.push_back(ParseKeys(shortcut.keys, static_cast<WORD>(ControlId(shortcut.control))));
    }
    accelerators_ = CreateAcceleratorTableW(keys.data(), static_cast<int>(keys.size()));
}

void frmMain::Form_Load() {
    FillPassesList();
    ApplyKeyDisplay();
    SetWindowTextW(lblVersion, Wide(forms::MainVersionCaption(VersionMajor, VersionMinor)).c_str());

    LoadEngines();
    txtMessage_Change();
}

void frmMain::FillPassesList() {
    for (int passes = 1; passes < 2; ++passes) {
        SendMessageW(cboEncPasses, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(std::to_wstring(passes).c_str()));
    }
    SendMessageW(cboEncPasses, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L"1"));
}

void frmMain::ApplyKeyDisplay() {
    switch (SendMessageW(chkShowKey, BM_GETCHECK, 0, 0)) {
    case BST_CHECKED:
        SendMessageW(txtEncKey, EM_SETPASSWORDCHAR, 0, 0);
        SendMessageW(txtEncKey, WM_SETFONT, reinterpret_cast<WPARAM>(Font(forms::KeyShownFont)), TRUE);
        SetTooltip(chkShowKey, forms::ShowKeyTipChecked);
        break;
    case BST_UNCHECKED:
        // "Wingdings 2" draws its character 151 as the mask; without it, the table's character.
        if (wingdings_) {
            SendMessageW(txtEncKey, WM_SETFONT,
                         reinterpret_cast<WPARAM>(Font({u"Wingdings 2", forms::KeyMaskedFont.points})), TRUE);
            SendMessageW(txtEncKey, EM_SETPASSWORDCHAR, 0xF097, 0);
        } else {
            SendMessageW(txtEncKey, WM_SETFONT, reinterpret_cast<WPARAM>(Font(forms::KeyMaskedFont)), TRUE);
            SendMessageW(txtEncKey, EM_SETPASSWORDCHAR, forms::KeyMaskCharacter, 0);
        }
        SetTooltip(chkShowKey, forms::ShowKeyTipUnchecked);
        break;
    default:
        break;
    }
    InvalidateRect(txtEncKey, nullptr, TRUE);
}

void frmMain::AddEngineLine(std::u16string_view name, std::int32_t itemData) {
    const std::wstring line = Wide(name);
    const auto at = SendMessageW(cboEncryption, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    SendMessageW(cboEncryption, CB_SETITEMDATA, static_cast<WPARAM>(at), itemData);
}

void frmMain::SelectFirstEngineLine() {
    SendMessageW(cboEncryption, CB_SETCURSEL, 0, 0);
    cboEncryption_Click();
}

void frmMain::cboEncryption_Click() {
    const auto line = SendMessageW(cboEncryption, CB_GETCURSEL, 0, 0);
    SelectEngine(line == CB_ERR ? std::nullopt
                                : std::optional<std::int64_t>(
                                      SendMessageW(cboEncryption, CB_GETITEMDATA, static_cast<WPARAM>(line), 0)));
}

void frmMain::chkShowKey_Click() { ApplyKeyDisplay(); }

void frmMain::CloseForm() { PostMessageW(Handle(), WM_CLOSE, 0, 0); }

void frmMain::lblMenu_Click(bool fromKeyboard) {
    // From the keyboard the menu opens under the label, from the mouse at the pointer.
    POINT at{};
    if (fromKeyboard) {
        RECT label;
        GetWindowRect(Control("lblMenu"), &label);
        at = {label.left, label.bottom};
    } else {
        GetCursorPos(&at);
    }
    TrackPopupMenu(mnuMenu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, Handle(), nullptr);
}

void frmMain::mnuAbout_Click() {
    if (about_ == nullptr || about_->Handle() == nullptr) {
        about_ = std::make_unique<frmAbout>(desktop_, Handle());
    }
    about_->Show();
}

void frmMain::mnuLinks_Click() {
    if (links_ == nullptr || links_->Handle() == nullptr) {
        links_ = std::make_unique<frmLinks>(desktop_, Handle());
    }
    links_->Show();
}

void frmMain::mnuDonate_Click() {
    if (donate_ == nullptr || donate_->Handle() == nullptr) {
        donate_ = std::make_unique<frmDonate>(desktop_, Handle());
    }
    donate_->Show();
}

void frmMain::OpenAddress(std::u16string_view address) { desktop_.OpenAddress(Handle(), address); }

void frmMain::ShowEncoding(bool utf8) {
    CheckMenuRadioItem(mnuMenu, MenuId("mnuEncodingAnsi"), MenuId("mnuEncodingUtf8"),
                       MenuId(utf8 ? "mnuEncodingUtf8" : "mnuEncodingAnsi"), MF_BYCOMMAND);
}

void frmMain::Form_MouseMove() {
    SetLabelBold(lblVersion, false);
    const COLORREF rest = RestColourRef();
    for (HWND label : labelButtons_) {
        SetLabelColour(label, rest);
    }
}

void frmMain::txtMessage_Change() {
    // The soft breaks in an edited envelope are not counted.
    const std::size_t length = textFromControl_ && !softBreaks_
                                   ? static_cast<std::size_t>(SendMessageW(txtMessage, WM_GETTEXTLENGTH, 0, 0))
                                   : Text().size();
    SetWindowTextW(lblLength, Wide(forms::LengthCaption(length)).c_str());
    if (!CommandRunning()) {
        ForgetEnvelope();
    }
}

void frmMain::ApplyColours() {
    const COLORREF rest = RestColourRef();
    for (HWND label : labelButtons_) {
        SetLabelColour(label, rest);
    }
    for (const char* name : {"lblVersion", "lblHeading", "Label4"}) {
        SetLabelColour(Control(name), rest);
    }
}

void frmMain::PaintBackdrop(HDC dc) {
    RECT client;
    GetClientRect(Handle(), &client);
    DrawPicture(dc, forms::picture::Background, client);
    // The panel behind the controls, in the window colour so that the labels on it read.
    const RECT panel = ScaledRect(Table()["Shape1"].where);
    HGDIOBJ oldBrush = SelectObject(dc, GetSysColorBrush(COLOR_BTNFACE));
    HPEN pen = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    const int corner = Scale(16);
    RoundRect(dc, panel.left, panel.top, panel.right + corner, panel.bottom + corner, corner, corner);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
}

LRESULT frmMain::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_MOUSEMOVE:
        Form_MouseMove();
        return 0;
    case WM_SETCURSOR:
        if (busy_) {
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        }
        break;
    case WM_CTLCOLORSTATIC:
        // The check box stands on the panel.
        if (reinterpret_cast<HWND>(lParam) == chkShowKey) {
            SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
            SetTextColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNTEXT));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        break;
    case WM_SYSCOLORCHANGE:
    case WM_THEMECHANGED:
        ApplyColours();
        InvalidateRect(Handle(), nullptr, TRUE);
        break;
    default:
        break;
    }
    return FormWindow::OnMessage(message, wParam, lParam);
}

void frmMain::Command(int id, WORD code, HWND control) {
    if (id >= FirstMenuId && control == nullptr && code == 0) {
        const auto index = static_cast<std::size_t>(id - FirstMenuId);
        if (index >= Table().menu.size()) {
            return;
        }
        MenuChosen(Table().menu[index].name);
        return;
    }
    if (id < FirstControlId || static_cast<std::size_t>(id - FirstControlId) >= Table().controls.size()) {
        return;
    }
    const std::string_view name = Table().controls[static_cast<std::size_t>(id - FirstControlId)].name;
    const bool accelerator = code == 1 && control == nullptr;
    if (control == txtMessage) {
        if (code == EN_CHANGE && !writing_) {
            textFromControl_ = true;  // typed, pasted or cut: the control's text is the message
            txtMessage_Change();
        }
        return;
    }
    if (name == "cboEncryption" && code == CBN_SELCHANGE) {
        cboEncryption_Click();
    } else if (name == "chkShowKey") {
        if (accelerator) {
            SendMessageW(chkShowKey, BM_CLICK, 0, 0);
        } else if (code == BN_CLICKED) {
            chkShowKey_Click();
        }
    } else if (code == LabelHovered) {
        if (control == lblVersion) {
            SetLabelBold(lblVersion, true);
        } else {
            SetLabelColour(control, HoverColourRef());
        }
    } else if (code == STN_CLICKED || code == BN_CLICKED || accelerator) {
        if (name == "cmdEncrypt" || name == "lblEncrypt") {
            cmdEncrypt_Click();
        } else if (name == "cmdDecrypt" || name == "lblDecrypt") {
            cmdDecrypt_Click();
        } else if (name == "cmdCopy" || name == "lblCopyText") {
            cmdCopy_Click();
        } else if (name == "cmdClear" || name == "lblClear") {
            cmdClear_Click();
        } else if (name == "cmdQuit" || name == "lblQuit") {
            cmdQuit_Click();
        } else if (name == "lblMenu") {
            POINT pointer{};
            GetCursorPos(&pointer);
            lblMenu_Click(WindowFromPoint(pointer) != control);
        } else if (name == "lblVersion") {
            lblVersion_Click();
        }
    }
}

LRESULT CALLBACK frmMain::MessageAreaProcedure(HWND area, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                               DWORD_PTR form) {
    if (message == WM_PASTE && (GetWindowLongPtrW(area, GWL_STYLE) & ES_READONLY) == 0 &&
        IsClipboardFormatAvailable(CF_UNICODETEXT) && OpenClipboard(area)) {
        std::u16string pasted;
        if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
            if (const auto* text = static_cast<const char16_t*>(GlobalLock(data))) {
                pasted = text;
                GlobalUnlock(data);
            }
        }
        CloseClipboard();
        if (pasted.size() > LongPaste) {
            reinterpret_cast<frmMain*>(form)->PasteLongText(pasted);
            return 0;
        }
    }
    return DefSubclassProc(area, message, wParam, lParam);
}

void frmMain::Closing() {
    if (!CloseWaits()) {
        FormWindow::Closing();
    }
}

}  // namespace tavorin::win32
