#pragma once
// For the commands' units only (Commands.cpp, EnvelopeCommands.cpp, FileCommands.cpp): the
// options, checks and key handling every command shares, and the commands of the other units.

#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "base/Failure.h"
#include "base/Memory.h"
#include "cli/Commands.h"
#include "cli/Input.h"
#include "cli/MessageStream.h"
#include "cli/Options.h"
#include "cli/System.h"
#include "engines/Engine.h"

namespace tavorin::cli {

inline constexpr std::string_view kAuto = "auto";

// -c NAME; with decrypt, auto (the default) as well.
void AddCipherOption(Options& options, std::string& cipher, bool decrypt);
bool IsAuto(const std::string& value);
// The engine named, or none for auto when decrypting.
std::unique_ptr<Engine> SelectEngineOrAuto(const System& system, const std::string& name, bool decrypt);
// The stored lengths that fit when every cipher was probed: exactly one, or a CliError.
std::u16string OneFittingCipher(const std::vector<std::u16string>& fitting);
// --key-file and --key-env; message: the command reads a message (text), whose byte-order mark
// is dropped too.
void AddKeyOptions(Options& options, KeySource& key, bool encrypt, bool message);
void AddForceOption(Options& options, bool& force);
// Source and destination, checked before the key is asked for: a source that can be read, and
// a destination that does not exist yet, unless --force. Empty or "-": standard input or output.
void CheckFiles(const std::string& source, const std::string& dest, bool force);
// Warnings on encryption, never refusals: characters the cipher does not read, and a key that
// the estimator (where there is one) finds easy to guess.
void WarnAboutKey(const std::u16string& key, std::u16string_view cipher, Writer& err);

// With -v: what could not be kept out of swap, said once the command has done its work.
void NoteSwapRefusals(Writer& err);

// The key of one command, kept out of swap and wiped when the command ends, however it ends.
struct CommandKey {
    std::u16string text;
    LockedMemory locked;
    explicit CommandKey(std::u16string key)
        : text(std::move(key)), locked(text.data(), (text.capacity() + 1) * sizeof(char16_t), Holds::Key) {}
    CommandKey(const CommandKey&) = delete;
    CommandKey& operator=(const CommandKey&) = delete;
    ~CommandKey() { SecureWipe(text); }
};

// Runs work; Failures and CliErrors become their exit codes and one line on standard error.
template <class Work>
int Report(Writer& err, Work&& work) {
    try {
        return work();
    } catch (const CliError& e) {
        PrintError(err, e.what(), e.Hint());
        return e.ExitCode();
    } catch (const Failure& f) {
        return ReportFailure(err, f);
    } catch (const std::bad_alloc&) {
        PrintError(err, "out of memory");
        return ExitUsage;
    }
}

// encrypt and decrypt (EnvelopeCommands.cpp); encrypt-file and decrypt-file (FileCommands.cpp).
std::unique_ptr<Command> MakeEnvelopeCommand(const System& system, bool encrypt);
std::unique_ptr<Command> MakeFileCommand(const System& system, bool encrypt);

}  // namespace tavorin::cli
