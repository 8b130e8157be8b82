#pragma once
// The main window: the message area, the key, the cipher and pass lists, and the column of
// label-buttons that run Encrypt, Decrypt, Copy Text, Clear and Quit. It owns one engine of
// each cipher and is the window the Encrypt and Decrypt commands work through.

#include <QElapsedTimer>
#include <QKeySequence>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "desktop/MainForm.h"
#include "engines/Engine.h"

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QStyle;

namespace tavorin {

class Desktop;
class LabelButton;
class MessageArea;
class frmAbout;
class frmDonate;
class frmLinks;

class frmMain final : public QWidget, public MainForm {
    Q_OBJECT

public:
    static constexpr int ClientWidth = 640;
    static constexpr int ClientHeight = 444;
    // Long work shows the progress bar once it has run this long (SetProgressDelay),
    // and repaints it at most this often.
    static constexpr qint64 ProgressPaintMs = 40;

    explicit frmMain(Desktop& desktop, QWidget* parent = nullptr);
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
    void SetProgressDelay(qint64 ms) noexcept { progressAfterMs_ = ms; }

    frmAbout* AboutWindow() const;
    frmLinks* LinksWindow() const;
    frmDonate* DonateWindow() const;

    // The label-buttons' text colours at rest and under the pointer: the palette's
    // highlighted-text and application-workspace colours, or the next role that stays
    // readable on the background picture.
    static QColor RestColour(const QPalette& palette);
    static QColor HoverColour(const QPalette& palette);

    // The event handlers.
    void cboEncryption_Click();
    void chkShowKey_Click();
    void cmdCopy_Click();
    void lblMenu_Click();
    void Form_MouseMove();
    void txtMessage_Change();
    void mnuAbout_Click() override;
    void mnuLinks_Click() override;
    void mnuDonate_Click() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
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
    void EnvelopeShownChanged() override;

private:
    void CreateControls();
    void CreateMenu();
    void CreateShortcuts();
    void Form_Load();
    void FillPassesList();
    void ApplyKeyDisplay();
    void ApplyColours();

    Desktop& desktop_;

    // Controls, by their names.
    MessageArea* txtMessage = nullptr;
    QLineEdit* txtEncKey = nullptr;
    QComboBox* cboEncryption = nullptr;
    QComboBox* cboEncPasses = nullptr;
    QCheckBox* chkShowKey = nullptr;
    QPushButton* cmdDecrypt = nullptr;
    QPushButton* cmdEncrypt = nullptr;
    QPushButton* cmdQuit = nullptr;
    QPushButton* cmdCopy = nullptr;
    QPushButton* cmdClear = nullptr;
    QLabel* lblLength = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* lblHeading = nullptr;
    LabelButton* lblMenu = nullptr;
    LabelButton* lblQuit = nullptr;
    LabelButton* lblClear = nullptr;
    LabelButton* lblCopyText = nullptr;
    LabelButton* lblDecrypt = nullptr;
    LabelButton* lblEncrypt = nullptr;
    LabelButton* lblVersion = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* lblResult = nullptr;
    QWidget* Shape1 = nullptr;
    QProgressBar* prgWork = nullptr;

    QMenu* mnuMenu = nullptr;
    QAction* mnuEncodingAnsi = nullptr;
    QAction* mnuEncodingUtf8 = nullptr;
    std::vector<QKeySequence> shortcutKeys_;

    std::unique_ptr<QStyle> keyStyle_;
    QPixmap background_;

    bool busy_ = false;
    QElapsedTimer commandClock_;
    QElapsedTimer progressClock_;
    qint64 progressAfterMs_ = 150;

    QPointer<frmAbout> about_;
    QPointer<frmLinks> links_;
    QPointer<frmDonate> donate_;
};

}  // namespace tavorin
