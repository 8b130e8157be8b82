#pragma once
// The commands of tavorin-cli, one object each.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/Io.h"
#include "cli/System.h"

namespace tavorin::cli {

class Command {
public:
    explicit Command(const System& system) : system_(system) {}
    virtual ~Command() = default;
    Command(const Command&) = delete;
    Command& operator=(const Command&) = delete;

    virtual std::string_view Name() const noexcept = 0;
    virtual std::string_view Summary() const noexcept = 0;
    // args: what follows the command's name. Returns the exit code.
    virtual int Run(const std::vector<std::string>& args, Reader& in, Writer& out, Writer& err) = 0;

protected:
    const System& system_;
};

// ciphers, encrypt, decrypt, encrypt-file, decrypt-file, in the order the help lists them.
std::vector<std::unique_ptr<Command>> MakeCommands(const System& system);

}  // namespace tavorin::cli
