#include "desktop/win32/frmAbout.h"

#include "base/Version.h"
#include "desktop/FormTexts.h"
#include "desktop/win32/Platform.h"

namespace tavorin::win32 {

namespace {

constexpr DWORD SecondaryStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;

}  // namespace

frmAbout::frmAbout(Desktop& desktop, HWND over) : FormWindow(forms::About), desktop_(desktop) {
    Create(over, SecondaryStyle);
    Form_Load();
}

void frmAbout::CreateControls() {
    for (const forms::Control& row : Table().controls) {
        AddControl(row.name);
    }
    // The OK button answers Enter, as a dialog's default button does.
    SetWindowLongPtrW(Control("cmdOK"), GWL_STYLE, GetWindowLongPtrW(Control("cmdOK"), GWL_STYLE) | BS_DEFPUSHBUTTON);
    ApplyTabOrder();
    SetFocus(Control("cmdOK"));
}

void frmAbout::Form_Load() {
    SetWindowTextW(Handle(), Wide(forms::AboutCaption()).c_str());
    SetWindowTextW(Control("lblVersion"), Wide(forms::AboutVersionCaption(VersionMajor, VersionMinor)).c_str());
    SetWindowTextW(Control("lblTitle"), Wide(forms::ApplicationTitle).c_str());
    SetWindowTextW(Control("lblDescription"), Wide(forms::AboutDescription).c_str());
    SetWindowTextW(Control("lblDisclaimer"), Wide(forms::AboutDisclaimer).c_str());
}

void frmAbout::cmdOK_Click() { DestroyWindow(Handle()); }

void frmAbout::cmdSysInfo_Click() { StartSysInfo(desktop_, Handle()); }

void frmAbout::Command(int id, WORD code, HWND control) {
    if (id == IDOK) {
        cmdOK_Click();  // Enter
        return;
    }
    if (id == IDCANCEL) {
        DestroyWindow(Handle());  // Escape
        return;
    }
    if (code != BN_CLICKED || control == nullptr) {
        return;
    }
    if (id == ControlId("cmdOK")) {
        cmdOK_Click();
    } else if (id == ControlId("cmdSysInfo")) {
        cmdSysInfo_Click();
    } else {
        // A link: its caption is the address a click opens.
        const forms::Control& row = Table().controls[static_cast<std::size_t>(id - FirstControlId)];
        if (row.kind == forms::Kind::Link) {
            desktop_.OpenAddress(Handle(), row.caption);
        }
    }
}

}  // namespace tavorin::win32
