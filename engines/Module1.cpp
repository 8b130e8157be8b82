#include "engines/Module1.h"

#include <system_error>

#include "base/Failure.h"

namespace tavorin::Module1 {

void GetWord(std::uint32_t& value, const ByteArray& bytes, std::size_t i) {
    if (bytes.size() < 4 || i > bytes.size() - 4) {
        throw Failure::Subscript();
    }
    value = LoadBE32(bytes.data() + i);
}

void PutWord(std::uint32_t value, ByteArray& bytes, std::size_t i) {
    if (bytes.size() < 4 || i > bytes.size() - 4) {
        throw Failure::Subscript();
    }
    StoreBE32(bytes.data() + i, value);
}

bool FileExist(const std::filesystem::path& path) noexcept {
    std::error_code ec;
    const std::filesystem::file_status st = std::filesystem::status(path, ec);
    return std::filesystem::exists(st) && !std::filesystem::is_directory(st);
}

}  // namespace tavorin::Module1
