#pragma once
// The Encrypt and Decrypt commands of the main window, over a MessageWindow, so that they
// run and are tested without any windowing system.

#include <cstdint>
#include <string>

#include "desktop/MessageWindow.h"
#include "engines/Engine.h"

namespace tavorin {

class MessageCommands {
public:
    explicit MessageCommands(MessageWindow& window) : window_(window) {}

    void cmdEncrypt_Click(Engine& SelectedEngine);
    void cmdDecrypt_Click(Engine& SelectedEngine);

    // True while a command runs (also while it yields); a second command is refused then.
    bool Running() const noexcept { return running_; }

    std::int16_t EncryptPassCount = 0;
    std::int16_t DecryptPassCount = 0;
    std::u16string PassResult;

private:
    void Run(Engine& engine, bool encrypt);

    MessageWindow& window_;
    bool running_ = false;
};

}  // namespace tavorin
