// encrypt-file and decrypt-file: a file framed with its digest in front, and opened again.
#include "cli/CommandParts.h"

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "base/AnsiCodePage.h"
#include "base/Descriptors.h"
#include "base/Files.h"
#include "cli/Output.h"
#include "engines/FrameFormat.h"
#include "envelope/FileDigest.h"

namespace tavorin::cli {

namespace fs = std::filesystem;

namespace {

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
                        if (verbose) {
                            NoteSwapRefusals(err);
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

}  // namespace

std::unique_ptr<Command> MakeFileCommand(const System& system, bool encrypt) {
    return std::make_unique<FileCommand>(system, encrypt);
}

}  // namespace tavorin::cli
