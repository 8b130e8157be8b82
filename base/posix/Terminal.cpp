#include "base/Terminal.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "base/Memory.h"

namespace tavorin {

namespace {

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

}  // namespace

// Asks on the controlling terminal, never on standard input (which carries the message).
std::optional<std::string> AskWithoutEcho(std::string_view prompt, bool* endedEarly) {
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
        if (line.size() == line.capacity()) {
            // Grown by hand: the shorter copy is wiped, not freed as it is.
            std::string larger;
            larger.reserve(2 * line.capacity());
            larger = line;
            SecureWipe(line);
            line.swap(larger);
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
        if (endedEarly != nullptr) {
            *endedEarly = true;
        }
        return std::nullopt;
    }
    return line;
}

void EndOnInterrupt() noexcept {}  // SIGINT's default, which the file units' handlers pass on

}  // namespace tavorin
