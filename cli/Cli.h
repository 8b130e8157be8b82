#pragma once
// tavorin-cli: the commands, runnable in a process or straight from tests.

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/System.h"

namespace tavorin::cli {

// Runs tavorin-cli with args (without the program name). Returns the exit code.
int Run(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);
int Run(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err,
        const System& system);

}  // namespace tavorin::cli
