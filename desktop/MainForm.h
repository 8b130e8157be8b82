#pragma once
// What the main window does alike in every toolkit: it owns one engine of each cipher and the
// list of them, selects one, runs Encrypt and Decrypt one at a time, and handles the menu
// entries of the forms table by their names. A front end (Qt, Win32) binds its controls and
// supplies the operations below; the handlers that touch no control are written here once.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "desktop/MessageCommands.h"
#include "desktop/MessageWindow.h"
#include "engines/Engine.h"

namespace tavorin {

class MainForm : public MessageWindow {
public:
    struct EngineEntry {
        std::u16string name;
        Engine* engine = nullptr;
    };

    MainForm(const MainForm&) = delete;
    MainForm& operator=(const MainForm&) = delete;
    ~MainForm() override;

    Engine* SelectedEngine() const noexcept { return selectedEngine_; }
    const std::vector<EngineEntry>& EngineList() const noexcept { return engineList_; }
    std::int32_t EngineCount() const noexcept { return engineCount_; }
    const MessageCommands& Commands() const noexcept { return commands_; }
    // True while Encrypt or Decrypt runs, also while it yields.
    bool CommandRunning() const noexcept { return commands_.Running(); }

    // The handlers that are the same in every toolkit.
    void cmdEncrypt_Click() { RunCommand(true); }
    void cmdDecrypt_Click() { RunCommand(false); }
    void cmdClear_Click();
    void cmdQuit_Click() { CloseForm(); }
    void mnuExit_Click() { CloseForm(); }
    void lblVersion_Click() { mnuAbout_Click(); }
    void mnuTavorinSite_Click();
    void mnuBrennickSite_Click();
    void mnuSupportForumSite_Click();
    virtual void mnuAbout_Click() = 0;
    virtual void mnuLinks_Click() = 0;
    virtual void mnuDonate_Click() = 0;
    // Runs the menu entry of the forms table of this name; false for a name with no action.
    bool MenuChosen(std::string_view name);

    // The window of the commands, as far as it is the same everywhere.
    std::u16string EngineName() override;
    void SetStatusText(std::u16string_view text) override;
    MessageEncoding Encoding() override;

protected:
    MainForm();

    // Start-up's engines: one of each, registered in the list's order, the first line selected.
    void LoadEngines();
    // The selection of the cipher list changed: the engine of the entry its item data names.
    void SelectEngine(std::optional<std::int64_t> itemData);
    // A close asked for while a command runs waits for its end; true when it must wait.
    bool CloseWaits();
    // The message area holds the envelope Encrypt made (copies of it are no secret).
    bool EnvelopeShown() const noexcept { return envelopeShown_; }
    void ForgetEnvelope();

    // What the front end does with its controls.
    virtual void AddEngineLine(std::u16string_view name, std::int32_t itemData) = 0;
    virtual void SelectFirstEngineLine() = 0;
    virtual std::u16string EngineLineText() = 0;
    virtual void ShowStatus(std::u16string_view text) = 0;
    virtual void ClearKey() = 0;
    virtual void OpenAddress(std::u16string_view address) = 0;
    virtual void CloseForm() = 0;
    // Around a command: the message and key fields read-only, the display held; and after.
    virtual void CommandStarting() = 0;
    virtual void CommandEnded() = 0;
    // The encoding entries of the menu show this choice.
    virtual void ShowEncoding(bool utf8) = 0;
    // EnvelopeShown() changed.
    virtual void EnvelopeShownChanged() {}

private:
    void RunCommand(bool encrypt);
    void AddEngine(Engine* engine, std::u16string_view name);

    MessageCommands commands_;
    std::unique_ptr<Engine> EncryptSkipJack;
    std::unique_ptr<Engine> EncryptBlowfish;
    std::unique_ptr<Engine> EncryptTwofish;
    std::unique_ptr<Engine> EncryptGost;
    std::unique_ptr<Engine> EncryptDES;
    std::vector<EngineEntry> engineList_;
    std::int32_t engineCount_ = 0;
    Engine* selectedEngine_ = nullptr;

    bool closeRequested_ = false;
    bool envelopeShown_ = false;
    bool encodingUtf8_ = false;
    std::u16string runningEngineName_;
    std::u16string lastStatus_;
};

}  // namespace tavorin
