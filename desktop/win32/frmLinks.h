#pragma once
// The Recommended Links window: choosing a product shows its description, its site (a click
// opens the referral address) and its copyright line.

#include <string>

#include "desktop/FormTexts.h"
#include "desktop/win32/FormParts.h"

namespace tavorin::win32 {

class Desktop;

class frmLinks final : public FormWindow {
public:
    frmLinks(Desktop& desktop, HWND over);

    void ShowProduct(const forms::Product& product);
    void lblLink_Click();
    const std::u16string& LinkInfo() const noexcept { return linkInfo_; }
    const std::u16string& LinkAddress() const noexcept { return linkAddress_; }

protected:
    void CreateControls() override;
    void Command(int id, WORD code, HWND control) override;

private:
    Desktop& desktop_;
    std::u16string linkInfo_;
    std::u16string linkAddress_;
};

}  // namespace tavorin::win32
