#pragma once
#include <iosfwd>
#include <string>
#include <vector>

namespace tavorin::cli {

// Runs tavorin-cli with args (without the program name). Returns the exit code.
int Run(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

} // namespace tavorin::cli
