#include "cli/System.h"

#include <algorithm>

#include "base/Descriptors.h"
#include "base/Environment.h"
#include "base/Failure.h"
#include "base/Files.h"
#include "base/Terminal.h"
#include "cli/Io.h"
#include "engines/FrameFormat.h"
#include "engines/Registry.h"

namespace tavorin::cli {

System System::Process() {
    System s;
    s.createEngine = [](std::u16string_view name) { return CreateEngine(name); };
    s.getEnv = EnvironmentValue;
    s.askKey = [](const std::string& prompt) {
        bool ended = false;
        auto line = AskWithoutEcho(prompt, &ended);
        if (ended) {
            throw CliError(ExitUsage, "no key was typed (the input ended at the prompt)",
                           "type the key and press Enter, or give it with --key-file FILE or --key-env NAME");
        }
        return line;
    };
    s.errIsTerminal = IsTerminal(StandardError);
    return s;
}

void PrintError(Writer& err, std::string_view message, std::string_view hint) {
    err << "tavorin-cli: " << message << '\n';
    if (!hint.empty()) {
        err << "hint: " << hint << '\n';
    }
    err.Flush();
}

std::string ExitCodeTable() {
    constexpr std::size_t kWidth = 80;
    std::string table;
    for (const auto& [code, meaning] : ExitCodes) {
        std::string line = "  " + std::to_string(code) + " ";
        for (std::size_t at = 0; at < meaning.size();) {
            const std::size_t end = std::min(meaning.find(' ', at), meaning.size());
            if (line.size() + 1 + (end - at) > kWidth) {
                table += line + "\n";
                line = "    ";
            }
            line += ' ';
            line += meaning.substr(at, end - at);
            at = end + 1;
        }
        table += line + "\n";
    }
    return table;
}

int ReportFailure(Writer& err, const Failure& failure) {
    const FailureKind kind = failure.Kind();
    if (const auto* file = dynamic_cast<const FileFailure*>(&failure)) {
        if (kind == FailureKind::FileExists) {
            PrintError(err, PathToUtf8(file->Path()) + " exists (use --force to replace it)");
        } else {
            PrintError(err, PathToUtf8(file->Path()) + ": " + file->Reason());
        }
    } else if (Failure::IsEmptyKey(kind)) {
        PrintError(err, "the key is empty", "You must enter a key");
    } else if (Failure::IsFileError(kind)) {
        PrintError(err, "a file cannot be read or written");
    } else {
        switch (kind) {
        case FailureKind::TooLarge:
            PrintError(
                err, "the input is past the size limits",
                "a frame holds at most " + std::to_string(frame::MaxFrame) + " bytes, its header and padding included");
            break;
        case FailureKind::SourceMissing:
            PrintError(err, "the source file does not exist");
            break;
        case FailureKind::PartialBlock:
            PrintError(err, "the input is damaged: its length is not a whole number of the cipher's blocks");
            break;
        case FailureKind::StoredLengthOverflow:
            PrintError(err, WrongKeyError);
            break;
        case FailureKind::BadHexDigit:
            PrintError(err, "the input is not an envelope: it holds a character that is no hexadecimal digit");
            break;
        case FailureKind::NoPairs:
            PrintError(err, "the input is not an envelope: it holds no pair of hexadecimal digits");
            break;
        case FailureKind::NotInCodePage:
            PrintError(err, "the text holds a character that Windows-1252 cannot hold",
                       "--encoding utf-8 takes text in any language");
            break;
        case FailureKind::NotUtf8:
            PrintError(err, "the text is not valid UTF-8");
            break;
        case FailureKind::CannotNormalise:
            PrintError(err, "the text cannot be brought to its composed form (NFC)");
            break;
        default:
            PrintError(err, "failed: a value is out of its range");
            break;
        }
    }
    return static_cast<int>(envelope::ExitFor(kind));
}

std::unique_ptr<Engine> SelectEngine(const System& system, const std::string& name) {
    auto engine = system.createEngine ? system.createEngine(std::u16string(name.begin(), name.end())) : nullptr;
    if (!engine) {
        throw CliError(ExitUsage, "unknown cipher '" + name + "'", "'tavorin-cli ciphers' lists the ciphers");
    }
    return engine;
}

}  // namespace tavorin::cli
