#pragma once
// tavorin-cli: the commands, runnable in a process or straight from tests.

#include <string>
#include <vector>

#include "cli/Io.h"
#include "cli/System.h"

namespace tavorin::cli {

// Runs tavorin-cli with args (without the program name). Returns the exit code.
// Without a System: the process's, with the descriptors behind in and out.
int Run(const std::vector<std::string>& args, Reader& in, Writer& out, Writer& err);
int Run(const std::vector<std::string>& args, Reader& in, Writer& out, Writer& err, const System& system);

}  // namespace tavorin::cli
