#include <string>
#include <vector>

#include "base/Descriptors.h"
#include "base/Memory.h"
#include "base/Terminal.h"
#include "cli/Cli.h"

int main(int argc, char** argv) {
    tavorin::DisableCoreDumps();
    tavorin::EndOnInterrupt();
    // Large buffers come from and go back to the system directly, so that a buffer freed
    // half way through (the input, once decoded) stops counting at once.
    tavorin::SetLargeBlockPolicy(256 * 1024);
    const std::vector<std::string> args(argv + 1, argv + argc);
    tavorin::cli::FdReader in(tavorin::StandardInput, "standard input");
    tavorin::cli::FdWriter out(tavorin::StandardOutput);
    tavorin::cli::FdWriter err(tavorin::StandardError);
    return tavorin::cli::Run(args, in, out, err);
}
