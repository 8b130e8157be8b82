// tavorin-cli on Windows: the arguments come in UTF-16 (file names and keys in any language)
// and reach the commands in UTF-8, as they do on Linux.
#include <string>
#include <vector>

#include "base/AnsiCodePage.h"
#include "base/Descriptors.h"
#include "base/Memory.h"
#include "base/Terminal.h"
#include "cli/Cli.h"

int wmain(int argc, wchar_t** argv) {
    tavorin::DisableCoreDumps();
    tavorin::EndOnInterrupt();
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::wstring_view arg(argv[i]);
        args.push_back(tavorin::ToUtf8(std::u16string(arg.begin(), arg.end())));
    }
    tavorin::cli::FdReader in(tavorin::StandardInput, "standard input");
    tavorin::cli::FdWriter out(tavorin::StandardOutput);
    tavorin::cli::FdWriter err(tavorin::StandardError);
    return tavorin::cli::Run(args, in, out, err);
}
