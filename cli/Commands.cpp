// The commands' options and their work.
#include "cli/Commands.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <optional>
#include <system_error>

#include "base/AnsiCodePage.h"
#include "base/Descriptors.h"
#include "base/Failure.h"
#include "base/Files.h"
#include "base/KeyGuess.h"
#include "base/Team.h"
#include "cli/Input.h"
#include "cli/Options.h"
#include "cli/Output.h"
#include "engines/FrameFormat.h"
#include "engines/Registry.h"
#include "envelope/Detect.h"
#include "envelope/Envelope.h"
#include "envelope/FileDigest.h"

namespace tavorin::cli {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kAuto = "auto";
#ifdef _WIN32
constexpr std::string_view kEndOfInput = "Ctrl-Z, Enter";
#else
constexpr std::string_view kEndOfInput = "Ctrl-D";
#endif

void AddCipherOption(Options& options, std::string& cipher, bool decrypt) {
    options.Value('c', "cipher", "NAME",
                  decrypt ? "Blowfish, DES, Gost, Skipjack or Twofish (any case), or auto: the cipher whose frame fits"
                          : "Blowfish, DES, Gost, Skipjack or Twofish (any case)",
                  cipher, decrypt ? kAuto : "Blowfish");
}

bool IsAuto(const std::string& value) { return EqualIgnoringCase(value, kAuto); }

// The engine named, or none for auto when decrypting.
std::unique_ptr<Engine> SelectEngineOrAuto(const System& system, const std::string& name, bool decrypt) {
    return decrypt && IsAuto(name) ? nullptr : SelectEngine(system, name);
}

// The stored lengths that fit when every cipher was probed: exactly one, or a CliError.
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

// message: the command reads a message (text), whose byte-order mark is dropped too.
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

// Source and destination, checked before the key is asked for: a source that can be read, and
// a destination that does not exist yet, unless --force. Empty or "-": standard input or output.
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

// The key of one command, wiped when the command ends, however it ends.
struct CommandKey {
    std::u16string text;
    explicit CommandKey(std::u16string key) : text(std::move(key)) {}
    CommandKey(const CommandKey&) = delete;
    CommandKey& operator=(const CommandKey&) = delete;
    ~CommandKey() { SecureWipe(text); }
};

// Keys longer than this are not given to the estimator.
constexpr std::size_t MaxJudgedKey = 256;

// Warnings on encryption, never refusals: characters the cipher does not read, and a key that
// the estimator (where there is one) finds easy to guess.
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

// ---------------------------------------------------------------------------------------------

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

// ---------------------------------------------------------------------------------------------

class FileCommand final : public Command {
public:
    FileCommand(const System& system, bool encrypt) : Command(system), encrypt_(encrypt) {}
    std::string_view Name() const noexcept override { return encrypt_ ? "encrypt-file" : "decrypt-file"; }
    std::string_view Summary() const noexcept override {
        return encrypt_ ? "encrypt a file" : "decrypt a file made by encrypt-file";
    }

    int Run(const std::vector<std::string>& args, Reader& in, Writer& out, Writer& err) override {
        Options options(Name(), Summary());
        std::string cipher = encrypt_ ? "Blowfish" : std::string(kAuto);
        KeySource keySource;
        keySource.confirm = encrypt_;
        std::string source;
        std::string dest;
        bool force = false;
        bool bare = false;
        bool verbose = false;
        AddCipherOption(options, cipher, !encrypt_);
        options.Flag(0, "bare",
                     encrypt_ ? "write the frame alone, without the SHA-256 of the frame in front of it (for "
                                "programs that read the engine's frame)"
                              : "read SOURCE as a frame alone, without a digest in front (as older versions wrote it)",
                     bare);
        if (!encrypt_) {
            options.Flag('v', "verbose", "say which cipher opened the file, and when it carries no digest", verbose);
        }
        AddKeyOptions(options, keySource, encrypt_, false);
        AddForceOption(options, force);
        options.Argument("SOURCE", "the file to read (- for standard input, a pipe too)", source)
            .Argument("DEST", "the file to write (- for standard output); it appears only when the command succeeds",
                      dest);
        if (const auto code = options.Parse(args, out, err)) {
            return *code;
        }

        return Report(err, [&] {
            auto engine = SelectEngineOrAuto(system_, cipher, !encrypt_);
            if (source == "-" && keySource.file == "-") {
                throw CliError(ExitUsage, "--key-file - and SOURCE - would both read standard input",
                               "give the key with --key-file FILE or --key-env NAME, or type it");
            }
            CheckFiles(source, dest, force);
            OutputPolicy policy{.replace = force};
            std::string destination = dest;
            if (dest == "-") {
                if (system_.outFd < 0) {
                    throw CliError(ExitUsage, "standard output cannot take a file here");
                }
                out.Flush();
                policy.stream = system_.outFd;
                destination = "standard output";  // the name errors give it
            }
            const CommandKey obtained{ObtainKey(system_, keySource, in, err)};
            const std::u16string& key = obtained.text;
            std::error_code ec;
            fs::path sourcePath = PathFromUtf8(source);
            const fs::path destinationPath = PathFromUtf8(destination);
            // Standard input: a regular file is read where it is; anything else (a pipe) is read to
            // its end into a file of no name first, since a frame stores its length in front.
            std::optional<ScratchFile> spool;
            if (source == "-") {
                const std::uint64_t limit =
                    encrypt_ ? frame::MaxFrame / engine->BlockSize() * engine->BlockSize() - frame::HeaderSize
                             : frame::MaxFrame + (bare ? 0 : envelope::FileDigestSize);
                source = "standard input";  // the name messages give it
                std::optional<fs::path> inPlace;
                if (Describe(system_.inFd).kind == DescriptorKind::RegularFile && Position(system_.inFd) == 0) {
                    inPlace = PathOf(system_.inFd);
                }
                if (inPlace) {
                    sourcePath = *inPlace;
                } else {
                    spool.emplace(dest == "-" ? fs::path() : fs::absolute(destinationPath, ec).parent_path());
                    const bool shown = system_.errIsTerminal;
                    SpoolInput(in, *spool, limit, [&](std::uint64_t read) {
                        if (shown) {
                            err << "\rreading: " << std::to_string(read >> 20) << " MiB";
                            err.Flush();
                        }
                    });
                    if (shown) {
                        err << "\r" << std::string(24, ' ') << '\r';
                        err.Flush();
                    }
                    sourcePath = spool->Path();
                }
            }
            const auto size = std::filesystem::file_size(sourcePath, ec);
            ProgressBar bar(err, system_.errIsTerminal && !ec && size >= ProgressThreshold,
                            encrypt_ ? "encrypting" : "decrypting");
            if (encrypt_) {
                WarnAboutKey(key, engine->Name(), err);
                engine->Progress = [&](std::int32_t percent) { bar.Update(percent); };
                if (bare) {
                    engine->DestPolicy(policy);
                    engine->EncryptFile(sourcePath, destinationPath, key);
                } else {
                    engine->DestPolicy({.replace = force});
                    envelope::EncryptFileWithDigest(*engine, sourcePath, destinationPath, key, policy.stream);
                }
                bar.Done();
                return ExitOk;
            }
            envelope::FileProbe probe = envelope::ProbeFile(
                sourcePath, key, engine ? engine->Name() : std::u16string_view(), bare, system_.createEngine);
            CheckProbe(probe, source);
            for (envelope::FileReading& reading : probe.readings) {
                reading.engine->DestPolicy(policy);
                reading.engine->Progress = [&](std::int32_t percent) { bar.Update(percent); };
                const envelope::FileOpened opened =
                    envelope::DecryptFileReading(reading, sourcePath, destinationPath, key, policy.stream >= 0);
                if (opened == envelope::FileOpened::WrongKey) {
                    throw CliError(ExitWrongKey, std::string(FileWrongKeyError));
                }
                if (opened == envelope::FileOpened::Opened) {
                    bar.Done();
                    if (system_.errIsTerminal || verbose) {
                        err << "opened with " << ToUtf8(reading.engine->Name()) << '\n';
                        if (!reading.digested && !bare) {
                            err << "note: " << source
                                << " carries no digest (made by an older tavorin-cli, or with --bare): damage to "
                                   "it would have gone unnoticed\n";
                        }
                        err.Flush();
                    }
                    return ExitOk;
                }
            }
            throw CliError(ExitDamaged,
                           source + " is damaged: the digest in front of it does not match (nothing was written)");
        });
    }

private:
    bool encrypt_;

    // What the probes of a file found, when it is not something to decrypt.
    static void CheckProbe(const envelope::FileProbe& probe, const std::string& source) {
        using Verdict = envelope::FileProbe::Verdict;
        switch (probe.verdict) {
        case Verdict::Fits:
            return;
        case Verdict::NotWhole:
            throw CliError(ExitDamaged, source + " is damaged or no frame: its length is no whole number of blocks",
                           "was it made by 'tavorin-cli encrypt-file'?");
        case Verdict::Ambiguous:
            OneFittingCipher(probe.fitting);
            return;
        case Verdict::Cut: {
            const std::int64_t n = probe.blocks > 0 ? probe.blocks : -probe.blocks;
            const std::string blocks = std::to_string(n) + (n == 1 ? " block" : " blocks");
            throw CliError(ExitDamaged,
                           source + " is damaged: " +
                               (probe.blocks > 0 ? "it was cut (" + blocks + (n == 1 ? " is" : " are") + " missing)"
                                                 : "it was lengthened (" + blocks + " too many)"),
                           "copy the whole file again");
        }
        case Verdict::WrongKey:
            throw CliError(ExitWrongKey, std::string(FileWrongKeyError));
        }
    }
};

// ---------------------------------------------------------------------------------------------

// Folds an envelope at whole pairs: the space after the last pair of each line becomes a line
// break, so that a line holds at most `columns` characters. The length does not change, so a
// piece is folded wherever it stands.
class Folder {
public:
    explicit Folder(std::size_t columns)
        : period_(columns == 0 ? 0 : 3 * std::max<std::size_t>(1, (columns + 1) / 3)) {}

    // Hands give() the piece of the envelope that stands at offset, folded.
    template <class Give>
    void operator()(const char* data, std::size_t size, std::uint64_t offset, Give&& give) const {
        if (period_ == 0) {
            give(data);
            return;
        }
        std::string piece(data, size);
        for (std::uint64_t at = offset + (period_ - 1 - offset % period_); at < offset + size; at += period_) {
            piece[static_cast<std::size_t>(at - offset)] = '\n';
        }
        give(piece.data());
    }

private:
    std::uint64_t period_;  // characters from one line's start to the next
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

    int Run(const std::vector<std::string>& args, Reader& in, Writer& out, Writer& err) override {
        Options options(Name(), Summary());
        std::string cipher = encrypt_ ? "Blowfish" : std::string(kAuto);
        std::string passesText = encrypt_ ? "1" : std::string(kAuto);
        std::string encoding = "windows-1252";
        std::string input;
        std::string output;
        std::string wrapText = "0";
        bool verbose = false;
        KeySource keySource;
        AddCipherOption(options, cipher, !encrypt_);
        options.Value('p', "passes", "COUNT",
                      encrypt_ ? "the number of passes, 1 to 32767"
                               : "the number of passes, 1 to 32767, or auto: decrypted again while the result is "
                                 "itself a frame",
                      passesText, encrypt_ ? "1" : kAuto,
                      InRange(1, envelope::MaxPasses, encrypt_ ? std::string_view() : kAuto));
        if (encrypt_) {
            options.Value(0, "wrap", "COLUMNS",
                          "fold the envelope into lines of at most COLUMNS characters (at whole pairs)", wrapText, {},
                          InRange(2, std::int64_t{1} << 30));
        } else {
            options.Flag('v', "verbose",
                         "say which cipher and how many passes opened the envelope (always said on a terminal)",
                         verbose);
        }
        options
            .Value(0, "encoding", "NAME",
                   "the message's bytes: windows-1252 (every envelope of the window program) or utf-8 (any language)",
                   encoding, "windows-1252", OneOf({"windows-1252", "utf-8"}))
            .Value('i', "input", "FILE",
                   encrypt_ ? "read the message from FILE (default, or -: standard input)"
                            : "read the envelope from FILE (default, or -: standard input)",
                   input)
            .Value('o', "output", "FILE",
                   encrypt_ ? "write the envelope to FILE (default, or -: standard output)"
                            : "write the message to FILE (default, or -: standard output); it appears only on success",
                   output);
        AddForceOption(options, force_);
        AddKeyOptions(options, keySource, encrypt_, true);
        if (const auto code = options.Parse(args, out, err)) {
            return *code;
        }
        const bool utf8 = encoding == "utf-8";
        const auto passes =
            static_cast<std::int32_t>(IsAuto(passesText) ? envelope::AutoPasses : *WholeNumber(passesText));
        const auto wrap = static_cast<std::size_t>(*WholeNumber(wrapText));
        input = input == "-" ? std::string() : input;
        output = output == "-" ? std::string() : output;
        keySource.confirm = encrypt_;
        keySource.stdinTaken = input.empty();

        return Report(err, [&] {
            auto engine = SelectEngineOrAuto(system_, cipher, !encrypt_);
            CheckFiles(input, output, force_);
            const CommandKey obtained{ObtainKey(system_, keySource, in, err)};
            const std::u16string& key = obtained.text;
            if (encrypt_) {
                WarnAboutKey(key, engine->Name(), err);
                return Encrypt(*engine, key, passes, utf8, wrap, input, output, in, out, err);
            }
            envelope::OpenOptions opening;
            opening.cipher = engine ? std::u16string(engine->Name()) : std::u16string();
            opening.passes = passes;
            opening.createEngine = system_.createEngine;
            return Decrypt(key, opening, utf8, verbose, input, output, in, out, err);
        });
    }

private:
    bool encrypt_;
    bool force_ = false;

    // Shown when the work is long: a large text, or many passes over a small one (each pass
    // goes over the whole frame, which grows by about 16 bytes with every pass).
    ProgressBar Bar(Writer& err, std::uint64_t size, std::int32_t passes) const {
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

    int Encrypt(Engine& engine, const std::u16string& key, std::int32_t passes, bool utf8, std::size_t wrap,
                const std::string& input, const std::string& output, Reader& in, Writer& out, Writer& err) const {
        // Room for every pass's header and padding, so that the frame grows in place.
        const std::size_t slack = envelope::SealingRoom(0, passes, engine.BlockSize());
        std::optional<Output> sink;
        if (const auto source = MessageSourceOf(input, system_.inFd); source && source->size >= StreamedFrom &&
                                                                      source->size <= MaxMessageInput &&
                                                                      ThreadsAvailable && CoreCount() >= 2) {
            {
                MessageStream stream(static_cast<std::size_t>(source->size), slack, source->readAt);
                sink.emplace(out, output, system_.outFd, force_);
                engine.Needed = [&](std::size_t upTo) { stream.Need(upTo); };
                bool sealed = false;
                try {
                    Seal(engine, stream.Message(), key, passes, wrap, *sink, err);
                    sealed = true;
                } catch (const MessageStream::NotAscii&) {
                    // read again below, and converted; whatever was placed is written over
                } catch (...) {
                    engine.Needed = nullptr;
                    throw;
                }
                engine.Needed = nullptr;
                if (sealed) {
                    stream.Sealed();
                    source->Consumed();
                    sink->Commit();
                    return ExitOk;
                }
            }  // the stream's reading has ended
            source->Rewind();
        }
        if (input.empty() && system_.inIsTerminal) {
            err << "tavorin-cli: type the message, then press Enter and " << kEndOfInput << '\n';
            err.Flush();
        }
        ByteArray bytes =
            input.empty() ? ReadAll(in, MaxMessageInput, slack) : ReadFile(PathFromUtf8(input), MaxMessageInput, slack);
        std::size_t size = bytes.size();
        DropByteOrderMark(bytes.data(), size);
        bytes.resize(size);
        if (utf8) {
            CheckUtf8(bytes, "the message");
        } else {
            Utf8ToWindows1252(bytes);
        }
        if (!sink) {
            sink.emplace(out, output, system_.outFd, force_);
        }
        envelope::InPlace message = envelope::RoomIn(bytes, passes, engine.BlockSize());
        Seal(engine, message, key, passes, wrap, *sink, err);
        SecureWipe(bytes);
        sink->Commit();
        return ExitOk;
    }

    // The passes and the envelope, and the line end after it.
    void Seal(Engine& engine, envelope::InPlace& message, const std::u16string& key, std::int32_t passes,
              std::size_t wrap, Output& sink, Writer& err) const {
        sink.Expect(envelope::EnvelopeLength(message.size + static_cast<std::size_t>(passes) * 16));
        ProgressBar bar = Bar(err, message.size, passes);
        Track(engine, bar, passes, "encrypting");
        const Folder fold(wrap);
        if (sink.Placeable()) {
            envelope::SealToPlacedSink(
                engine, message, key, passes, [&](const char* data, std::size_t size, std::uint64_t offset) {
                    fold(data, size, offset, [&](const char* d) { sink.PlaceAt(d, size, offset); });
                });
        } else {
            std::uint64_t offset = 0;
            envelope::SealToSink(engine, message, key, passes, [&](const char* data, std::size_t size) {
                bar.Done();
                fold(data, size, offset, [&](const char* d) { sink.Write(d, size); });
                offset += size;
            });
        }
        bar.Done();
        sink.Write("\n", 1);
    }

    int Decrypt(const std::u16string& key, envelope::OpenOptions& options, bool utf8, bool verbose,
                const std::string& input, const std::string& output, Reader& in, Writer& out, Writer& err) const {
        envelope::FoundEnvelope found = input.empty() ? FindEnvelopeIn(in) : FindEnvelopeInFile(PathFromUtf8(input));
        switch (found.status) {
        case envelope::FindStatus::Found:
            break;
        case envelope::FindStatus::NotAnEnvelope:
            throw CliError(ExitUsage, "the input is not an envelope",
                           "an envelope is lines of hexadecimal pairs separated by spaces, its digest in front");
        case envelope::FindStatus::SeveralEnvelopes:
            throw CliError(ExitUsage, "the input holds more than one envelope", "give one envelope at a time");
        case envelope::FindStatus::Damaged:
            throw CliError(ExitDamaged, std::string(DamagedError), "make sure the whole envelope was copied");
        }
        Output sink(out, output, -1, force_);
        const std::int32_t named = options.passes;
        ProgressBar bar = Bar(err, found.ciphertext.size(), std::max(named, 1));
        options.progress = [&](std::int32_t pass, std::int32_t percent) {
            if (percent == 0) {
                bar.Label("decrypting pass " + std::to_string(pass) + (named > 1 ? "/" + std::to_string(named) : ""));
            }
            bar.Update(percent);
        };
        envelope::Opened opened = envelope::OpenCiphertext(std::move(found.ciphertext), key, options);
        bar.Done();
        switch (opened.status) {
        case envelope::OpenStatus::Opened:
            break;
        case envelope::OpenStatus::Ambiguous:
            OneFittingCipher(opened.fitting);
            break;
        case envelope::OpenStatus::MorePasses:
            throw CliError(ExitWrongKey, "the result is itself a frame: it was sealed with more passes (try -p auto)");
        case envelope::OpenStatus::Damaged:
            throw CliError(ExitDamaged, "the envelope is damaged: its ciphertext is no whole number of blocks",
                           options.cipher.empty() ? "" : "is it an envelope of another cipher? try -c auto");
        default:
            throw CliError(ExitWrongKey, std::string(WrongKeyError),
                           options.cipher.empty() && named == envelope::AutoPasses
                               ? ""
                               : "without -c and -p the cipher and the passes are found by themselves");
        }
        const std::string_view message(reinterpret_cast<const char*>(opened.message.data()), opened.message.size());
        const bool ascii = AsciiPrefix(opened.message.data(), opened.message.size()) == message.size();
        const bool validUtf8 = ascii || IsValidUtf8(message);
        const bool looksUtf8 = validUtf8 && !ascii;
        if (utf8 && !validUtf8) {
            SecureWipe(opened.message);
            throw CliError(ExitUsage,
                           "the message is not UTF-8; it was probably sealed as Windows-1252 (try --encoding "
                           "windows-1252)");
        }
        if (utf8) {
            sink.Write(message.data(), message.size());
        } else {
            sink.WriteWindows1252AsUtf8(opened.message.data(), opened.message.size());
        }
        SecureWipe(opened.message);
        sink.Commit();
        if (system_.errIsTerminal || verbose) {
            err << "opened with " << ToUtf8(opened.cipher) << ", " << std::to_string(opened.passes)
                << (opened.passes == 1 ? " pass" : " passes") << '\n';
        }
        if (!utf8 && looksUtf8) {
            err << "hint: the message reads as UTF-8; if its letters look wrong, try --encoding utf-8\n";
        }
        err.Flush();
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
