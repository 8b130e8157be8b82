#include "cli/System.h"

#include <algorithm>
#include <cstdlib>

#include "base/Descriptors.h"
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
    s.getEnv = [](const std::string& name) -> std::optional<std::string> {
        const char* value = std::getenv(name.c_str());
        if (value == nullptr) {
            return std::nullopt;
        }
        return std::string(value);
    };
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
    if (const auto* file = dynamic_cast<const FileFailure*>(&failure)) {
        if (file->Number() == Failure::FileExists) {
            PrintError(err, file->Path().string() + " exists (use --force to replace it)");
        } else {
            PrintError(err, file->Path().string() + ": " + file->Reason());
        }
        return ExitFile;
    }
    switch (failure.Number()) {
    case Failure::Overflow:
        PrintError(
            err, "the input is past the size limits",
            "a frame holds at most " + std::to_string(frame::MaxFrame) + " bytes, its header and padding included");
        return ExitTooLarge;
    case Failure::ObjectError:
        PrintError(err, "the source file does not exist");
        return ExitFile;
    case Failure::SubscriptOutOfRange:
        PrintError(err, "the input is damaged: its length is not a whole number of the cipher's blocks");
        return ExitDamaged;
    default:
        break;
    }
    if (Failure::IsFileError(failure.Number())) {
        PrintError(err, "a file cannot be read or written");
        return ExitFile;
    }
    PrintError(err, "failed (error " + std::to_string(failure.Number()) + ")");
    return ExitUsage;
}

std::unique_ptr<Engine> SelectEngine(const System& system, const std::string& name) {
    auto engine = system.createEngine ? system.createEngine(std::u16string(name.begin(), name.end())) : nullptr;
    if (!engine) {
        throw CliError(ExitUsage, "unknown cipher '" + name + "'", "'tavorin-cli ciphers' lists the ciphers");
    }
    return engine;
}

}  // namespace tavorin::cli
