#include "desktop/win32/frmLinks.h"

#include "desktop/win32/Platform.h"

namespace tavorin::win32 {

frmLinks::frmLinks(Desktop& desktop, HWND over) : FormWindow(forms::Links), desktop_(desktop) {
    Create(over, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN);
}

void frmLinks::CreateControls() {
    for (const forms::Control& row : Table().controls) {
        AddControl(row.name);
    }
    SetFocus(Control("lblDataBackup"));
}

void frmLinks::ShowProduct(const forms::Product& product) {
    linkInfo_ = forms::ProductInfo(product);
    SetWindowTextW(Control("txtlinkinfo"), Wide(linkInfo_).c_str());
    linkAddress_ = product.referral;
    SetWindowTextW(Control("lblLink"), Wide(product.site).c_str());
    SetWindowTextW(Control("lblCopyright"), Wide(product.copyright).c_str());
}

void frmLinks::lblLink_Click() {
    // Before a product is chosen there is nothing to open.
    if (!linkAddress_.empty()) {
        desktop_.OpenAddress(Handle(), linkAddress_);
    }
}

void frmLinks::Command(int id, WORD code, HWND control) {
    if (id == IDCANCEL) {
        DestroyWindow(Handle());  // Escape
        return;
    }
    if (code != STN_CLICKED || control == nullptr) {
        return;
    }
    if (id == ControlId("lblLink")) {
        lblLink_Click();
        return;
    }
    for (const forms::Product& product : forms::Products) {
        if (id == ControlId(product.name)) {
            SetFocus(control);  // the focus frame goes with the choice
            ShowProduct(product);
        }
    }
}

}  // namespace tavorin::win32
