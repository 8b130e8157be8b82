#include "desktop/win32/frmDonate.h"

#include "desktop/FormTexts.h"
#include "desktop/win32/Platform.h"

namespace tavorin::win32 {

frmDonate::frmDonate(Desktop& desktop, HWND over) : FormWindow(forms::Donate), desktop_(desktop) {
    Create(over, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN);
}

void frmDonate::CreateControls() {
    for (const forms::Control& row : Table().controls) {
        AddControl(row.name);
    }
    SetLabelCursor(Control("Image1"), LoadCursorW(nullptr, IDC_HAND));
}

void frmDonate::Image1_Click() { desktop_.OpenAddress(Handle(), forms::address::Donation); }

void frmDonate::Command(int id, WORD code, HWND control) {
    if (id == IDCANCEL) {
        DestroyWindow(Handle());  // Escape
    } else if (code == STN_CLICKED && control != nullptr && id == ControlId("Image1")) {
        Image1_Click();
    }
}

}  // namespace tavorin::win32
