#include "cli/Cli.h"

#include <iostream>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ostream>

#include "base/Version.h"
#include "cli/Commands.h"
#include "engines/Registry.h"

namespace tavorin::cli {

namespace {

void Usage(std::ostream& out, const std::vector<std::unique_ptr<Command>>& commands) {
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
           "\nRun 'tavorin-cli COMMAND --help' for the options of a command.\n"
           "Exit codes: 0 success, 1 wrong usage or input, 2 message authentication failed,\n"
           "3 wrong key, 4 a file that cannot be read or written.\n";
}

// The terminal's settings while echo is off, for the signal handler to put back.
struct termios g_saved {};
int g_tty = -1;

void RestoreTerminal(int sig) {
    if (g_tty >= 0) {
        ::tcsetattr(g_tty, TCSAFLUSH, &g_saved);
    }
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

// Asks on the controlling terminal, never on standard input (which carries the message).
std::optional<std::string> AskOnTerminal(const std::string& prompt) {
    const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) {
        return std::nullopt;
    }
    struct termios saved {};
    const bool isTerminal = ::tcgetattr(tty, &saved) == 0;
    if (isTerminal) {
        struct termios quiet = saved;
        quiet.c_lflag &= static_cast<tcflag_t>(~(ECHO | ECHONL));
        quiet.c_lflag |= ICANON;
        g_saved = saved;
        g_tty = tty;
        ::signal(SIGINT, RestoreTerminal);
        ::signal(SIGTERM, RestoreTerminal);
        ::tcsetattr(tty, TCSAFLUSH, &quiet);
    }
    (void)!::write(tty, prompt.data(), prompt.size());
    std::string line;
    char c = 0;
    bool ended = false;
    for (;;) {
        const ssize_t got = ::read(tty, &c, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        if (c == '\n') {
            ended = true;
            break;
        }
        line.push_back(c);
    }
    if (isTerminal) {
        ::tcsetattr(tty, TCSAFLUSH, &saved);
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
        g_tty = -1;
    }
    (void)!::write(tty, "\n", 1);
    ::close(tty);
    if (!ended && line.empty()) {
        return std::nullopt;
    }
    return line;
}

}  // namespace

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
    s.askKey = AskOnTerminal;
    s.errIsTerminal = ::isatty(STDERR_FILENO) == 1;
    return s;
}

int Run(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
    System system = System::Process();
    if (&out == &std::cout) {
        system.outFd = STDOUT_FILENO;
    }
    return Run(args, in, out, err, system);
}

int Run(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err,
        const System& system) {
    const auto commands = MakeCommands(system);
    if (args.empty()) {
        Usage(err, commands);
        return ExitUsage;
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
            return c->run(rest, in, out, err);
        }
    }
    err << "tavorin-cli: unknown command '" << args[0] << "'\n"
        << "hint: 'tavorin-cli --help' lists the commands\n";
    return ExitUsage;
}

}  // namespace tavorin::cli
