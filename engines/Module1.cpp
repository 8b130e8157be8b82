#include "engines/Module1.h"

#include <system_error>

#include "base/Failure.h"

namespace tavorin::Module1 {

void WordOutsideTheArray() { throw Failure(FailureKind::WordOutOfRange); }

bool FileExist(const std::filesystem::path& path) noexcept {
    std::error_code ec;
    const std::filesystem::file_status st = std::filesystem::status(path, ec);
    return std::filesystem::exists(st) && !std::filesystem::is_directory(st);
}

}  // namespace tavorin::Module1
