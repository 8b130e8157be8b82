// The commands' options (parsed with CLI11, in this one file) and their work.
#include "cli/Commands.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>
#include <istream>
#include <ostream>

#include "base/AnsiCodePage.h"
#include "base/Failure.h"
#include "cli/Input.h"
#include "cli/Output.h"
#include "engines/Registry.h"
#include "envelope/Envelope.h"

namespace tavorin::cli {

namespace {

constexpr std::string_view kCannotDecrypt = "Cannot decrypt text any further";

// Parses args into app; returns the exit code when the command should end here (help or
// wrong usage), nothing when it should go on.
std::optional<int> Parse(CLI::App& app, const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e, out, err);
        return code == 0 ? ExitOk : ExitUsage;
    }
    return std::nullopt;
}

void AddCipherOption(CLI::App& app, std::string& cipher) {
    app.add_option("-c,--cipher", cipher, "Blowfish, DES, Gost, Skipjack or Twofish (any case)")->capture_default_str();
}

void AddKeyOptions(CLI::App& app, KeySource& key) {
    auto* file =
        app.add_option("--key-file", key.file, "read the key from the first line of FILE (UTF-8)")->type_name("FILE");
    auto* env =
        app.add_option("--key-env", key.env, "read the key from the environment variable NAME")->type_name("NAME");
    file->excludes(env);
    app.footer("Without --key-file or --key-env the key is asked for on the terminal, without echo.");
}

// Runs work; Failures and CliErrors become their exit codes and one line on standard error.
template <class Work>
int Report(std::ostream& err, Work&& work) {
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

// The engine's wrong-key text, as lines on standard error.
void PrintWrongKey(std::ostream& err, std::u16string_view reported) {
    std::string text = ToUtf8(reported.empty() ? Engine::WrongKeyText : reported);
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    err << text << '\n';
    err.flush();
}

// Keeps the text of the engine's wrong-key event.
void CatchWrongKey(Engine& engine, std::u16string& text) {
    engine.WrongKey = [&text](std::u16string_view reported) { text = std::u16string(reported); };
}

// ---------------------------------------------------------------------------------------------

class CiphersCommand final : public Command {
public:
    using Command::Command;
    std::string_view Name() const noexcept override { return "ciphers"; }
    std::string_view Summary() const noexcept override {
        return "list the ciphers, marking those not built into this program";
    }

    int Run(const std::vector<std::string>& args, std::istream&, std::ostream& out, std::ostream& err) override {
        CLI::App app{std::string(Summary()), "tavorin-cli ciphers"};
        if (const auto code = Parse(app, args, out, err)) {
            return *code;
        }
        for (const auto name : EngineNames) {
            out << ToUtf8(name);
            if (!system_.createEngine || !system_.createEngine(name)) {
                out << " (not built)";
            }
            out << '\n';
        }
        out.flush();
        return ExitOk;
    }
};

// ---------------------------------------------------------------------------------------------

class FileCommand final : public Command {
public:
    FileCommand(const System& system, bool encrypt) : Command(system), encrypt_(encrypt) {}
    std::string_view Name() const noexcept override { return encrypt_ ? "encrypt-file" : "decrypt-file"; }
    std::string_view Summary() const noexcept override {
        return encrypt_ ? "encrypt a file" : "decrypt a file made by encrypt-file";
    }

    int Run(const std::vector<std::string>& args, std::istream&, std::ostream& out, std::ostream& err) override {
        CLI::App app{std::string(Summary()), "tavorin-cli " + std::string(Name())};
        std::string cipher = "Blowfish";
        KeySource keySource;
        std::string source;
        std::string dest;
        AddCipherOption(app, cipher);
        AddKeyOptions(app, keySource);
        app.add_option("SOURCE", source, "the file to read")->required();
        app.add_option("DEST", dest, "the file to write; it appears only when the command succeeds")->required();
        if (const auto code = Parse(app, args, out, err)) {
            return *code;
        }

        return Report(err, [&] {
            auto engine = SelectEngine(system_, cipher);
            const std::u16string key = ObtainKey(system_, keySource);
            std::error_code ec;
            const auto size = std::filesystem::file_size(source, ec);
            ProgressBar bar(err, system_.errIsTerminal && !ec && size >= ProgressThreshold,
                            encrypt_ ? "encrypting" : "decrypting");
            engine->Progress = [&](std::int32_t percent) { bar.Update(percent); };
            std::u16string wrongKey;
            CatchWrongKey(*engine, wrongKey);
            bool opened = true;
            if (encrypt_) {
                engine->EncryptFile(source, dest, key);
            } else {
                try {
                    opened = engine->DecryptFile(source, dest, key);
                } catch (const Failure& f) {
                    if (f.Number() != Failure::SubscriptOutOfRange) {
                        throw;
                    }
                    throw CliError(ExitUsage,
                                   source + " cannot be decrypted: its length is no whole number of " +
                                       std::to_string(engine->BlockSize()) + "-byte blocks",
                                   "was it made by 'tavorin-cli encrypt-file' with this cipher?");
                }
            }
            bar.Done();
            if (!opened) {
                PrintWrongKey(err, wrongKey);
                return ExitWrongKey;
            }
            return ExitOk;
        });
    }

private:
    bool encrypt_;
};

// ---------------------------------------------------------------------------------------------

class EnvelopeCommand final : public Command {
public:
    EnvelopeCommand(const System& system, bool encrypt) : Command(system), encrypt_(encrypt) {}
    std::string_view Name() const noexcept override { return encrypt_ ? "encrypt" : "decrypt"; }
    std::string_view Summary() const noexcept override {
        return encrypt_ ? "encrypt a message into an envelope (hexadecimal text for e-mail)"
                        : "open an envelope back into its message";
    }

    int Run(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) override {
        CLI::App app{std::string(Summary()), "tavorin-cli " + std::string(Name())};
        std::string cipher = "Blowfish";
        std::int32_t passes = 1;
        std::string encoding = "windows-1252";
        std::string input;
        std::string output;
        KeySource keySource;
        AddCipherOption(app, cipher);
        app.add_option("-p,--passes", passes, "the number of passes (the same for encrypt and decrypt)")
            ->check(CLI::Range(1, envelope::MaxPasses))
            ->capture_default_str();
        app.add_option("--encoding", encoding,
                       "the message's bytes: windows-1252 (every envelope of the "
                       "window program) or utf-8 (any language)")
            ->transform(CLI::IsMember({"windows-1252", "utf-8"}, CLI::ignore_case))
            ->capture_default_str();
        app.add_option("-i,--input", input,
                       encrypt_ ? "read the message from FILE (default: standard input)"
                                : "read the envelope from FILE (default: standard input)")
            ->type_name("FILE");
        app.add_option("-o,--output", output,
                       encrypt_ ? "write the envelope to FILE (default: standard output)"
                                : "write the message to FILE (default: standard output); it appears only on success")
            ->type_name("FILE");
        AddKeyOptions(app, keySource);
        if (const auto code = Parse(app, args, out, err)) {
            return *code;
        }
        const bool utf8 = encoding == "utf-8";

        return Report(err, [&] {
            auto engine = SelectEngine(system_, cipher);
            const std::u16string key = ObtainKey(system_, keySource);
            return encrypt_ ? Encrypt(*engine, key, passes, utf8, input, output, in, out, err)
                            : Decrypt(*engine, key, passes, utf8, input, output, in, out, err);
        });
    }

private:
    bool encrypt_;

    // Shown when the work is long: a large text, or many passes over a small one (each pass
    // goes over the whole frame, which grows by about 16 bytes with every pass).
    ProgressBar Bar(std::ostream& err, std::uint64_t size, std::int32_t passes) const {
        const auto p = static_cast<std::uint64_t>(std::max(passes, 1));
        const std::uint64_t work = p * size + 8 * p * p;
        return ProgressBar(err, system_.errIsTerminal && work >= ProgressThreshold, "");
    }

    // Shows each pass on the bar.
    static void Track(Engine& engine, ProgressBar& bar, std::int32_t passes, const char* verb) {
        auto pass = std::make_shared<std::int32_t>(0);
        engine.Progress = [&bar, pass, passes, verb](std::int32_t percent) {
            if (percent == 0) {
                ++*pass;
                bar.Label(std::string(verb) + (passes > 1
                                                   ? " pass " + std::to_string(*pass) + "/" + std::to_string(passes)
                                                   : std::string()));
            }
            bar.Update(percent);
        };
    }

    int Encrypt(Engine& engine, const std::u16string& key, std::int32_t passes, bool utf8, const std::string& input,
                const std::string& output, std::istream& in, std::ostream& out, std::ostream& err) const {
        // Room for every pass's header and padding, so that the frame grows in place.
        const std::size_t slack = static_cast<std::size_t>(passes) * (12 + engine.BlockSize());
        ByteArray bytes = input.empty() ? ReadAll(in, MaxMessageInput, slack) : ReadFile(input, MaxMessageInput, slack);
        if (utf8) {
            CheckUtf8(bytes, "the message");
        } else {
            Utf8ToWindows1252(bytes);
        }
        Output sink(out, output, system_.outFd);
        ProgressBar bar = Bar(err, bytes.size(), passes);
        Track(engine, bar, passes, "encrypting");
        if (sink.Placeable()) {
            envelope::SealToPlacedSink(
                engine, bytes, key, passes,
                [&](const char* data, std::size_t size, std::uint64_t offset) { sink.PlaceAt(data, size, offset); });
        } else {
            envelope::SealToSink(engine, bytes, key, passes, [&](const char* data, std::size_t size) {
                bar.Done();
                sink.Write(data, size);
            });
        }
        bar.Done();
        sink.Write("\n", 1);
        SecureWipe(bytes);
        sink.Commit();
        return ExitOk;
    }

    int Decrypt(Engine& engine, const std::u16string& key, std::int32_t passes, bool utf8, const std::string& input,
                const std::string& output, std::istream& in, std::ostream& out, std::ostream& err) const {
        ByteArray decoded;
        {
            ByteArray raw = input.empty() ? ReadAll(in, MaxEnvelopeInput) : ReadFile(input, MaxEnvelopeInput);
            auto* chars = reinterpret_cast<char*>(raw.data());
            const std::size_t length = envelope::UnwrapText(chars, raw.size());
            try {
                decoded = envelope::DecodePairs(std::string_view(chars, length));
            } catch (const Failure& f) {
                if (f.Number() == Failure::SubscriptOutOfRange) {
                    throw CliError(ExitUsage, std::string(kCannotDecrypt),
                                   "the input is no envelope: hexadecimal pairs (0-9, A-F) separated by spaces");
                }
                throw;
            }
        }
        if (decoded.size() < envelope::DigestLength) {
            throw CliError(ExitUsage, "the text is too short to be an envelope",
                           "an envelope begins with the 64 pairs of its digest");
        }
        Output sink(out, output);
        ProgressBar bar = Bar(err, decoded.size(), passes);
        Track(engine, bar, passes, "decrypting");
        std::u16string wrongKey;
        CatchWrongKey(engine, wrongKey);
        envelope::Outcome outcome{};
        try {
            outcome = envelope::OpenDecoded(engine, decoded, key, passes);
        } catch (const Failure& f) {
            if (f.Number() == Failure::SubscriptOutOfRange) {
                throw CliError(ExitUsage, std::string(kCannotDecrypt),
                               "the ciphertext is no whole number of blocks: another cipher, or a damaged envelope");
            }
            throw;
        }
        bar.Done();
        switch (outcome) {
        case envelope::Outcome::AuthenticationFailed:
            err << "Message Authentication failed.\nMake sure full message has been entered before decrypting\n";
            err.flush();
            return ExitAuthentication;
        case envelope::Outcome::WrongKey:
            SecureWipe(decoded);
            PrintWrongKey(err, wrongKey);
            return ExitWrongKey;
        case envelope::Outcome::Opened:
            break;
        }
        if (utf8) {
            sink.Write(reinterpret_cast<const char*>(decoded.data()), decoded.size());
        } else {
            sink.WriteWindows1252AsUtf8(decoded.data(), decoded.size());
        }
        SecureWipe(decoded);
        sink.Commit();
        return ExitOk;
    }
};

}  // namespace

std::vector<std::unique_ptr<Command>> MakeCommands(const System& system) {
    std::vector<std::unique_ptr<Command>> commands;
    commands.push_back(std::make_unique<CiphersCommand>(system));
    commands.push_back(std::make_unique<EnvelopeCommand>(system, true));
    commands.push_back(std::make_unique<EnvelopeCommand>(system, false));
    commands.push_back(std::make_unique<FileCommand>(system, true));
    commands.push_back(std::make_unique<FileCommand>(system, false));
    return commands;
}

}  // namespace tavorin::cli
