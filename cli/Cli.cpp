#include "cli/Cli.h"

#include <ostream>

namespace tavorin::cli {

int Run(const std::vector<std::string>& args, std::istream&, std::ostream& out, std::ostream& err) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        out << "Usage: tavorin-cli COMMAND [OPTIONS]\n";
        return 0;
    }
    err << "tavorin-cli: unknown command '" << args[0] << "'\n";
    return 1;
}

} // namespace tavorin::cli
