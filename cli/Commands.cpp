// The commands' shared options and checks, and `ciphers`; encrypt and decrypt stand in
// EnvelopeCommands.cpp, the file commands in FileCommands.cpp.
#include "cli/Commands.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "base/AnsiCodePage.h"
#include "base/Files.h"
#include "base/KeyGuess.h"
#include "cli/CommandParts.h"
#include "engines/Registry.h"

namespace tavorin::cli {

void AddCipherOption(Options& options, std::string& cipher, bool decrypt) {
    options.Value('c', "cipher", "NAME",
                  decrypt ? "Blowfish, DES, Gost, Skipjack or Twofish (any case), or auto: the cipher whose frame fits"
                          : "Blowfish, DES, Gost, Skipjack or Twofish (any case)",
                  cipher, decrypt ? kAuto : "Blowfish");
}

bool IsAuto(const std::string& value) { return EqualIgnoringCase(value, kAuto); }

std::unique_ptr<Engine> SelectEngineOrAuto(const System& system, const std::string& name, bool decrypt) {
    return decrypt && IsAuto(name) ? nullptr : SelectEngine(system, name);
}

std::u16string OneFittingCipher(const std::vector<std::u16string>& fitting) {
    if (fitting.size() > 1) {
        std::string names;
        for (const auto& name : fitting) {
            names += (names.empty() ? "" : ", ") + ToUtf8(name);
        }
        throw CliError(ExitWrongKey, "more than one cipher fits: " + names, "name the cipher with -c");
    }
    if (fitting.empty()) {
        throw CliError(ExitWrongKey, std::string(WrongKeyError));
    }
    return fitting.front();
}

void AddKeyOptions(Options& options, KeySource& key, bool encrypt, bool message) {
    options
        .Value(0, "key-file", "FILE",
               "read the key from the first line of FILE (UTF-8), a file or a pipe; - reads it from standard input",
               key.file)
        .Value(0, "key-env", "NAME", "read the key from the environment variable NAME", key.env, {},
               [](std::string& name) -> std::optional<std::string> {
                   if (ValidVariableName(name)) {
                       return std::nullopt;
                   }
                   return "'" + name + "' is no variable name";
               })
        .Exclusive("key-file", "key-env")
        .Footer(std::string("The key file's line and the variable's value lose one line end (LF or CR LF), and "
                            "nothing else;\na UTF-8 byte-order mark at the very start of the key file's line") +
                (encrypt && message ? " or of the message" : "") +
                " is dropped.\nWithout --key-file or --key-env the key is asked for on the terminal, without echo" +
                (encrypt ? ", twice." : "."));
}

void AddForceOption(Options& options, bool& force) {
    options.Flag('f', "force", "replace an existing destination, also when it is the source", force);
}

void CheckFiles(const std::string& source, const std::string& dest, bool force) {
    const bool file = !source.empty() && source != "-";
    if (file) {
        InputFile readable(PathFromUtf8(source));
    }
    std::error_code ec;
    const auto status = std::filesystem::status(PathFromUtf8(dest), ec);
    if (dest.empty() || dest == "-" || !std::filesystem::exists(status)) {
        return;
    }
    if (std::filesystem::is_directory(status)) {
        throw CliError(ExitFile, dest + " is a folder",
                       "name the file to write, e.g. " + PathToUtf8(PathFromUtf8(dest) / "NAME"));
    }
    if (force) {
        return;
    }
    if (file && SameFile(PathFromUtf8(source), PathFromUtf8(dest))) {
        throw CliError(ExitFile, source + " and " + dest + " are one file (use --force to replace it)");
    }
    throw CliError(ExitFile, dest + " exists (use --force to replace it)");
}

namespace {

// Keys longer than this are not given to the estimator.
constexpr std::size_t MaxJudgedKey = 256;

}  // namespace

void WarnAboutKey(const std::u16string& key, std::u16string_view cipher, Writer& err) {
    if (const std::string length = KeyLengthWarning(cipher, key.size()); !length.empty()) {
        err << "tavorin-cli: warning: " << length << '\n';
    }
    if (key.size() > MaxJudgedKey) {
        err.Flush();
        return;  // long past guessing by any pattern the estimator knows, and slow for it
    }
    std::string utf8;
    utf8.reserve(3 * key.size() + 1);  // never moves, so leaves no copy behind
    for (const char16_t c : key) {     // Windows-1252 characters: none past U+FFFF
        if (c < 0x80) {
            utf8.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            utf8.push_back(static_cast<char>(0xC0 | (c >> 6)));
            utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            utf8.push_back(static_cast<char>(0xE0 | (c >> 12)));
            utf8.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    const std::optional<KeyGuess> guess = EstimateKeyGuess(utf8);
    SecureWipe(utf8);
    if (guess && guess->bits < GuessableBelowBits) {
        err << "tavorin-cli: warning: this key could be guessed: about 2^"
            << std::to_string(static_cast<int>(guess->bits)) << " tries"
            << (guess->patterns.empty() ? std::string() : " (" + guess->patterns + ")") << '\n'
            << "hint: five or more random words, or 20 random characters, make a strong key\n";
    }
    err.Flush();
}

void NoteSwapRefusals(Writer& err) {
    const SwapRefusals refused = SwapGuardRefusals();
    if (refused.keyBytes != 0) {
        err << "note: the key could not be kept out of swap: the system refused to lock its memory\n";
    }
    if (refused.messageBytes != 0) {
        err << "note: the message could not be kept out of swap: it needs more than the "
            << std::to_string(std::max<std::size_t>(refused.budget >> 10, 1)) << " KiB of memory this program locks\n";
    }
}

namespace {

class CiphersCommand final : public Command {
public:
    using Command::Command;
    std::string_view Name() const noexcept override { return "ciphers"; }
    std::string_view Summary() const noexcept override { return "list the ciphers"; }

    int Run(const std::vector<std::string>& args, Reader&, Writer& out, Writer& err) override {
        Options options(Name(), Summary());
        if (const auto code = options.Parse(args, out, err)) {
            return *code;
        }
        for (const auto name : EngineNames) {
            out << ToUtf8(name) << '\n';
        }
        out.Flush();
        return ExitOk;
    }
};

}  // namespace

std::vector<std::unique_ptr<Command>> MakeCommands(const System& system) {
    std::vector<std::unique_ptr<Command>> commands;
    commands.push_back(std::make_unique<CiphersCommand>(system));
    commands.push_back(MakeEnvelopeCommand(system, true));
    commands.push_back(MakeEnvelopeCommand(system, false));
    commands.push_back(MakeFileCommand(system, true));
    commands.push_back(MakeFileCommand(system, false));
    return commands;
}

}  // namespace tavorin::cli
