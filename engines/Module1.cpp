#include "engines/Module1.h"

#include <sys/stat.h>

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
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace tavorin::Module1
