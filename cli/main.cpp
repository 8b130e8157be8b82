#include <malloc.h>

#include <iostream>
#include <string>
#include <vector>

#include "base/Files.h"
#include "cli/Cli.h"

int main(int argc, char** argv) {
    tavorin::DisableCoreDumps();
    // Large buffers come from and go back to the system directly, so that a buffer freed
    // half way through (the input, once decoded) stops counting at once.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    return tavorin::cli::Run(args, std::cin, std::cout, std::cerr);
}
