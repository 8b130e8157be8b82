#pragma once
// The main window in Win32: the message area, the key, the cipher and pass lists, and the
// column of label-buttons that run Encrypt, Decrypt, Copy Text, Clear and Quit. It owns one
// engine of each cipher and is the window the Encrypt and Decrypt commands work through.
// The message area's exact text is kept here; the control only shows it (it would turn line
// breaks into CR and end the text at a NUL), and takes over once the user edits it.

#include <windows.h>
#undef Yield  // 16-bit Windows' own; the window interface has one

#include <memory>
#include <string>
#include <vector>

#include "desktop/MainForm.h"
#include "desktop/win32/FormParts.h"
#include "engines/Engine.h"

namespace tavorin::win32 {

class Desktop;
class frmAbout;
class frmLinks;
class frmDonate;

class frmMain final : public FormWindow, public MainForm {
public:
    // Long work shows the progress bar once it has run this long (SetProgressDelay), and
    // repaints it at most this often.
    static constexpr ULONGLONG ProgressPaintMs = 40;
    // Characters past which a text pasted into the message area goes in through the window.
    static constexpr std::size_t LongPaste = 4096;

    explicit frmMain(Desktop& desktop);
    ~frmMain() override;

    // The window of the Encrypt and Decrypt commands.
    std::u16string MessageText() override;
    const std::u16string& PeekMessageText() override;
    std::u16string TakeMessageText() override;
    using MessageWindow::SetMessageText;
    void SetMessageText(std::u16string_view text) override;
    void SetMessageText(std::u16string&& text) override;
    std::u16string KeyText() override;
    std::u16string PassCountText() override;
    void SetBusy(bool busy) override;
    void ShowMessage(std::u16string_view text, MessageIcon icon, std::u16string_view title) override;
    void FocusKeyField() override;
    void ClearClipboard() override;
    void Yield() override;
    void ShowProgress(std::int32_t percent) override;

    bool Busy() const noexcept { return busy_; }
    void SetProgressDelay(ULONGLONG ms) noexcept { progressAfterMs_ = ms; }
    // Runs the command of a key pressed anywhere in this form (Ctrl+E, ...); true when it did.
    bool TakeShortcut(MSG& msg);
    frmAbout* AboutWindow() const noexcept { return about_.get(); }
    frmLinks* LinksWindow() const noexcept { return links_.get(); }
    frmDonate* DonateWindow() const noexcept { return donate_.get(); }

    // The event handlers.
    void cboEncryption_Click();
    void chkShowKey_Click();
    void cmdCopy_Click();
    void lblMenu_Click(bool fromKeyboard);
    void Form_MouseMove();
    void txtMessage_Change();
    void mnuAbout_Click() override;
    void mnuLinks_Click() override;
    void mnuDonate_Click() override;

protected:
    void CreateControls() override;
    void PaintBackdrop(HDC dc) override;
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Command(int id, WORD code, HWND control) override;
    void Closing() override;
    void DpiChanged() override;
    void AddEngineLine(std::u16string_view name, std::int32_t itemData) override;
    void SelectFirstEngineLine() override;
    std::u16string EngineLineText() override;
    void ShowStatus(std::u16string_view text) override;
    void ClearKey() override;
    void OpenAddress(std::u16string_view address) override;
    void CloseForm() override;
    void CommandStarting() override;
    void CommandEnded() override;
    void ShowEncoding(bool utf8) override;

private:
    void CreateMenu();
    void CreateShortcuts();
    void Form_Load();
    void FillPassesList();
    void ApplyKeyDisplay();
    void ApplyColours();
    void ApplyPointers();
    void MeasurePairs();
    void ShowText();
    void PasteLongText(std::u16string_view pasted);
    static LRESULT CALLBACK MessageAreaProcedure(HWND area, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                                 DWORD_PTR form);
    const std::u16string& Text();
    std::u16string ControlText(HWND control) const;

    Desktop& desktop_;

    HWND txtMessage = nullptr;
    HWND txtEncKey = nullptr;
    HWND cboEncryption = nullptr;
    HWND cboEncPasses = nullptr;
    HWND chkShowKey = nullptr;
    HWND lblLength = nullptr;
    HWND lblResult = nullptr;
    HWND lblVersion = nullptr;
    HWND prgWork = nullptr;
    std::vector<HWND> labelButtons_;  // the six that change colour under the pointer

    HMENU mnuMenu = nullptr;
    HACCEL accelerators_ = nullptr;
    HBITMAP background_ = nullptr;
    bool wingdings_ = false;  // "Wingdings 2" is installed

    std::u16string text_;            // the message area's exact text
    bool textFromControl_ = false;   // the user edited it: the control holds the text
    bool writing_ = false;           // the program writes the control
    bool displayStale_ = false;      // a command wrote text_ and the control shows an older text
    std::size_t pairsPerLine_ = 20;  // of an envelope in the message area
    bool softBreaks_ = false;        // the control shows text_ with soft breaks put in
    bool busy_ = false;
    ULONGLONG commandStart_ = 0;
    ULONGLONG progressPainted_ = 0;
    ULONGLONG progressAfterMs_ = 150;
    bool progressShown_ = false;

    std::unique_ptr<frmAbout> about_;
    std::unique_ptr<frmLinks> links_;
    std::unique_ptr<frmDonate> donate_;
};

}  // namespace tavorin::win32
