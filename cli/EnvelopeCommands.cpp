// encrypt and decrypt: a message sealed into an envelope, and an envelope opened.
#include "cli/CommandParts.h"

#include <algorithm>
#include <optional>

#include "base/AnsiCodePage.h"
#include "base/Files.h"
#include "base/Team.h"
#include "base/TextGate.h"
#include "cli/Output.h"
#include "envelope/Detect.h"
#include "envelope/Envelope.h"

namespace tavorin::cli {

namespace {

#ifdef _WIN32
constexpr std::string_view kEndOfInput = "Ctrl-Z, Enter";
#else
constexpr std::string_view kEndOfInput = "Ctrl-D";
#endif

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
        EncodeMessageText(bytes, utf8 ? MessageEncoding::Utf8 : MessageEncoding::Windows1252);
        if (!sink) {
            sink.emplace(out, output, system_.outFd, force_);
        }
        envelope::InPlace message = envelope::RoomIn(bytes, passes, engine.BlockSize());
        LockedMemory locked(message.data, message.room, Holds::Message);
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
        // Decrypted in place into the message; unlocked before it is freed.
        LockedMemory locked(found.ciphertext.data(), found.ciphertext.size(), Holds::Message);
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
        const bool looksUtf8 = !utf8 && !ascii && IsValidUtf8(message);
        try {
            DecodeMessage(opened.message.data(), opened.message.size(),
                          utf8 ? MessageEncoding::Utf8 : MessageEncoding::Windows1252,
                          [&](const char* data, std::size_t size) { sink.Write(data, size); });
        } catch (const TextFailure&) {
            SecureWipe(opened.message);
            throw CliError(ExitUsage,
                           "the message is not UTF-8; it was probably sealed as Windows-1252 (try --encoding "
                           "windows-1252)");
        }
        SecureWipe(opened.message);
        sink.Commit();
        if (system_.errIsTerminal || verbose) {
            err << "opened with " << ToUtf8(opened.cipher) << ", " << std::to_string(opened.passes)
                << (opened.passes == 1 ? " pass" : " passes") << '\n';
        }
        if (verbose) {
            NoteSwapRefusals(err);
        }
        if (looksUtf8) {
            err << "hint: the message reads as UTF-8; if its letters look wrong, try --encoding utf-8\n";
        }
        err.Flush();
        return ExitOk;
    }
};

}  // namespace

std::unique_ptr<Command> MakeEnvelopeCommand(const System& system, bool encrypt) {
    return std::make_unique<EnvelopeCommand>(system, encrypt);
}

}  // namespace tavorin::cli
