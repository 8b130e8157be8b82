#include "cli/Cli.h"

#include "base/Descriptors.h"
#include "base/Files.h"
#include "base/Version.h"
#include "cli/Commands.h"

namespace tavorin::cli {

namespace {

void Usage(Writer& out, const std::vector<std::unique_ptr<Command>>& commands) {
    out << "Usage: tavorin-cli COMMAND [OPTIONS]\n\n"
           "Protects a message with a key and one of five ciphers, as an envelope of hexadecimal\n"
           "pairs to paste into an e-mail, and opens such envelopes again.\n\n"
           "Commands:\n";
    for (const auto& c : commands) {
        out << "  " << c->Name() << std::string(14 - c->Name().size(), ' ') << c->Summary() << '\n';
    }
    out << "\nOptions:\n"
           "  -h, --help     show this help and exit\n"
           "  -V, --version  show the version and exit\n"
           "\nRun 'tavorin-cli COMMAND --help' (or 'tavorin-cli help COMMAND') for the options of a\n"
           "command.\n"
           "\nExit codes:\n"
        << ExitCodeTable();
}

}  // namespace

int Run(const std::vector<std::string>& args, Reader& in, Writer& out, Writer& err) {
    System system = System::Process();
    system.outFd = out.Fd();
    system.inFd = in.Fd();
    system.inIsTerminal = system.inFd >= 0 && IsTerminal(system.inFd);
    return Run(args, in, out, err, system);
}

namespace {

int Dispatch(const std::vector<std::string>& args, Reader& in, Writer& out, Writer& err, const System& system) {
    const auto commands = MakeCommands(system);
    if (args.empty()) {
        Usage(err, commands);
        return ExitUsage;
    }
    if (args[0] == "help" && args.size() > 1) {
        return Dispatch({args[1], "--help"}, in, out, err, system);  // help COMMAND
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        Usage(out, commands);
        return ExitOk;
    }
    if (args[0] == "--version" || args[0] == "-V") {
        out << "tavorin-cli " << Version << '\n';
        return ExitOk;
    }
    for (const auto& c : commands) {
        if (c->Name() == args[0]) {
            const std::vector<std::string> rest(args.begin() + 1, args.end());
            return c->Run(rest, in, out, err);
        }
    }
    err << "tavorin-cli: unknown command '" << args[0] << "'\n"
        << "hint: 'tavorin-cli --help' lists the commands\n";
    return ExitUsage;
}

}  // namespace

int Run(const std::vector<std::string>& args, Reader& in, Writer& out, Writer& err, const System& system) {
    const int code = Dispatch(args, in, out, err, system);
    out.Flush();
    // A list or a help that did not all go out (a full disk) is no success either.
    if (code == ExitOk && out.Error() != 0) {
        try {
            ThrowFileError(out.Error(), "writing", "standard output");
        } catch (const Failure& f) {
            return ReportFailure(err, f);
        }
    }
    err.Flush();
    return code;
}

}  // namespace tavorin::cli
