#pragma once
// The Donate window: a request, and a picture that opens the donation page.

#include "desktop/win32/FormParts.h"

namespace tavorin::win32 {

class Desktop;

class frmDonate final : public FormWindow {
public:
    frmDonate(Desktop& desktop, HWND over);

    void Image1_Click();

protected:
    void CreateControls() override;
    void Command(int id, WORD code, HWND control) override;

private:
    Desktop& desktop_;
};

}  // namespace tavorin::win32
