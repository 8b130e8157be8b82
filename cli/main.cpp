#include <malloc.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "base/Files.h"
#include "cli/Cli.h"

int main(int argc, char** argv) {
    tavorin::DisableCoreDumps();
    // Large buffers come from and go back to the system directly, so that a buffer freed
    // half way through (the input, once decoded) stops counting at once.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    const std::vector<std::string> args(argv + 1, argv + argc);
    tavorin::cli::FdReader in(STDIN_FILENO, "standard input");
    tavorin::cli::FdWriter out(STDOUT_FILENO);
    tavorin::cli::FdWriter err(STDERR_FILENO);
    return tavorin::cli::Run(args, in, out, err);
}
