// The main window's commands: Encrypt, Decrypt, Copy Text and Clear, and the window the
// Encrypt and Decrypt commands work through.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

#include "desktop/FormTexts.h"
#include "desktop/qt/MessageArea.h"
#include "desktop/qt/MessageText.h"
#include "desktop/qt/Platform.h"
#include "desktop/qt/Text.h"
#include "desktop/qt/frmMain.h"

namespace tavorin {

void frmMain::CommandStarting() {
    commandClock_.start();
    // The work text is kept in memory and shown once at the end; nobody edits it meanwhile.
    txtMessage->HoldDisplay(true);
    txtMessage->SetReadOnly(true);
    txtEncKey->setReadOnly(true);
}

void frmMain::CommandEnded() {
    txtEncKey->setReadOnly(false);
    txtMessage->SetReadOnly(false);
    txtMessage->HoldDisplay(false);
}

void frmMain::EnvelopeShownChanged() { txtMessage->SetSecret(!EnvelopeShown()); }

void frmMain::cmdCopy_Click() {
    if (CommandRunning()) {
        return;
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    // Plain text is a secret: keep it out of clipboard managers' history. The envelope is not.
    clipboard->setMimeData(CopiedText(txtMessage->Text(), !EnvelopeShown()));
}

void frmMain::ClearKey() { txtEncKey->clear(); }

// The window of the commands.

std::u16string frmMain::MessageText() { return txtMessage->Text(); }

const std::u16string& frmMain::PeekMessageText() { return txtMessage->Text(); }

std::u16string frmMain::TakeMessageText() { return txtMessage->TakeText(); }

void frmMain::SetMessageText(std::u16string_view text) { txtMessage->SetText(text); }

void frmMain::SetMessageText(std::u16string&& text) { txtMessage->SetText(std::move(text)); }

std::u16string frmMain::KeyText() { return ToU16(txtEncKey->text()); }

std::u16string frmMain::PassCountText() { return ToU16(cboEncPasses->currentText()); }

std::u16string frmMain::EngineLineText() { return ToU16(cboEncryption->currentText()); }

void frmMain::ShowStatus(std::u16string_view text) {
    lblResult->setText(ToQString(text));
    if (CommandRunning()) {
        lblResult->repaint();  // "Please Wait" shows before the long work, not after it
    }
}

void frmMain::SetBusy(bool busy) {
    if (busy == busy_) {
        return;
    }
    busy_ = busy;
    if (busy) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QGuiApplication::restoreOverrideCursor();
    }
}

void frmMain::ShowMessage(std::u16string_view text, MessageIcon icon, std::u16string_view title) {
    // A box is answered with the ordinary pointer, whatever the window shows.
    if (busy_) {
        QGuiApplication::restoreOverrideCursor();
    }
    ShowBox(this, ToQString(text), icon, ToQString(title));
    if (busy_) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
}

void frmMain::FocusKeyField() { txtEncKey->setFocus(); }

void frmMain::ClearClipboard() { QGuiApplication::clipboard()->clear(); }

void frmMain::Yield() { QCoreApplication::processEvents(); }

void frmMain::ShowProgress(std::int32_t percent) {
    if (percent < 0 || !CommandRunning()) {
        prgWork->hide();
        return;
    }
    if (prgWork->isHidden()) {
        if (commandClock_.elapsed() < progressAfterMs_) {
            return;
        }
        prgWork->show();
        progressClock_.invalidate();
    }
    prgWork->setValue(percent);
    // Painted at once, since the engine is still working and events wait for the next
    // yield; but only as often as the eye needs, painting costs as much as the work.
    if (!progressClock_.isValid() || progressClock_.elapsed() >= ProgressPaintMs || percent >= 100) {
        prgWork->repaint();
        progressClock_.start();
    }
}

}  // namespace tavorin
