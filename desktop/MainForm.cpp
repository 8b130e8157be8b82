#include "desktop/MainForm.h"

#include <map>

#include "desktop/FormTexts.h"
#include "engines/Registry.h"

namespace tavorin {

MainForm::MainForm() : commands_(*this) {}

MainForm::~MainForm() = default;

void MainForm::LoadEngines() {
    EncryptSkipJack = CreateEngine(u"Skipjack");
    EncryptBlowfish = CreateEngine(u"Blowfish");
    EncryptTwofish = CreateEngine(u"Twofish");
    EncryptGost = CreateEngine(u"Gost");
    EncryptDES = CreateEngine(u"DES");

    AddEngine(EncryptBlowfish.get(), u"Blowfish");
    AddEngine(EncryptDES.get(), u"DES");
    AddEngine(EncryptGost.get(), u"Gost");
    AddEngine(EncryptSkipJack.get(), u"Skipjack");
    AddEngine(EncryptTwofish.get(), u"Twofish");
    SelectFirstEngineLine();
}

void MainForm::AddEngine(Engine* engine, std::u16string_view name) {
    engineList_.push_back({std::u16string(name), engine});
    ++engineCount_;
    AddEngineLine(name, engineCount_ - 1);
}

void MainForm::SelectEngine(std::optional<std::int64_t> itemData) {
    selectedEngine_ = itemData && *itemData >= 0 && *itemData < engineCount_
                          ? engineList_[static_cast<std::size_t>(*itemData)].engine
                          : nullptr;
}

void MainForm::RunCommand(bool encrypt) {
    // One command at a time: the yields between passes must not start another.
    if (commands_.Running()) {
        return;
    }
    if (selectedEngine_ == nullptr) {
        ShowMessage(forms::MissingCipherText(EngineLineText()), MessageIcon::Exclamation, u"Error");
        return;
    }
    runningEngineName_ = EngineLineText();
    lastStatus_.clear();
    CommandStarting();
    if (encrypt) {
        commands_.cmdEncrypt_Click(*selectedEngine_);
    } else {
        commands_.cmdDecrypt_Click(*selectedEngine_);
    }
    ShowProgress(-1);
    CommandEnded();
    envelopeShown_ = encrypt && lastStatus_.starts_with(u"Results: ");
    EnvelopeShownChanged();
    if (closeRequested_) {
        closeRequested_ = false;
        CloseForm();
    }
}

void MainForm::ForgetEnvelope() {
    envelopeShown_ = false;
    EnvelopeShownChanged();
}

bool MainForm::CloseWaits() {
    if (commands_.Running()) {
        // The command holds this window; it closes when the command is done.
        closeRequested_ = true;
        return true;
    }
    return false;
}

void MainForm::cmdClear_Click() {
    if (commands_.Running()) {
        return;
    }
    SetMessageText(u"");
    ClearKey();
    FocusKeyField();
    ShowStatus(u"");
}

void MainForm::mnuTavorinSite_Click() { ShowMessage(forms::SiteUnavailable, MessageIcon::None, u""); }

void MainForm::mnuBrennickSite_Click() { OpenAddress(forms::address::MakerSite); }

void MainForm::mnuSupportForumSite_Click() { OpenAddress(forms::address::SupportForum); }

bool MainForm::MenuChosen(std::string_view name) {
    static const std::map<std::string_view, void (MainForm::*)()> handlers = {
        {"mnuAbout", &MainForm::mnuAbout_Click},
        {"mnuTavorinSite", &MainForm::mnuTavorinSite_Click},
        {"mnuBrennickSite", &MainForm::mnuBrennickSite_Click},
        {"mnuSupportForumSite", &MainForm::mnuSupportForumSite_Click},
        {"mnuLinks", &MainForm::mnuLinks_Click},
        {"mnuDonate", &MainForm::mnuDonate_Click},
        {"mnuExit", &MainForm::mnuExit_Click},
    };
    if (const auto handler = handlers.find(name); handler != handlers.end()) {
        (this->*handler->second)();
        return true;
    }
    if (name == "mnuEncodingAnsi" || name == "mnuEncodingUtf8") {
        encodingUtf8_ = name == "mnuEncodingUtf8";
        ShowEncoding(encodingUtf8_);
        return true;
    }
    return false;
}

std::u16string MainForm::EngineName() { return commands_.Running() ? runningEngineName_ : EngineLineText(); }

void MainForm::SetStatusText(std::u16string_view text) {
    lastStatus_.assign(text);
    ShowStatus(text);
}

MessageEncoding MainForm::Encoding() { return encodingUtf8_ ? MessageEncoding::Utf8 : MessageEncoding::Windows1252; }

}  // namespace tavorin
