#pragma once
// The About window: the program's name, version and description, a link to a page about each
// cipher, and a button that starts the system information tool.

#include "desktop/win32/FormParts.h"

namespace tavorin::win32 {

class Desktop;

class frmAbout final : public FormWindow {
public:
    frmAbout(Desktop& desktop, HWND over);

    void cmdOK_Click();
    void cmdSysInfo_Click();

protected:
    void CreateControls() override;
    void Command(int id, WORD code, HWND control) override;

private:
    void Form_Load();

    Desktop& desktop_;
};

}  // namespace tavorin::win32
