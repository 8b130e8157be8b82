#pragma once
// A fresh folder for one test's files, removed with everything in it at the end, and small
// file helpers around it.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <stdexcept>
#include <string>

#include "base/Types.h"

namespace tavorin::test {

class TempDir {
public:
    // base: where to make it; the system's temporary folder by default.
    explicit TempDir(const std::filesystem::path& base = std::filesystem::temp_directory_path()) {
        // A name nobody has, made by create_directory, which never takes an existing folder.
        std::random_device random;
        for (int tries = 0; path_.empty(); ++tries) {
            const std::filesystem::path candidate = base / ("tavorin-test-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate)) {
                std::filesystem::permissions(candidate, std::filesystem::perms::owner_all);  // as mkdtemp's
                path_ = candidate;
            } else if (tries == 100)
                throw std::runtime_error("cannot make a folder in " + base.string());
        }
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

    // The number of entries in the folder, for checking that no temporary file is left behind.
    std::size_t Entries() const {
        return static_cast<std::size_t>(
            std::distance(std::filesystem::directory_iterator(path_), std::filesystem::directory_iterator()));
    }
    // Their names.
    std::set<std::string> Names() const {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(path_))
            names.insert(e.path().filename().string());
        return names;
    }

private:
    std::filesystem::path path_;
};

inline void WriteFile(const std::filesystem::path& p, const ByteArray& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + p.string());
}

inline ByteArray ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary | std::ios::ate);
    if (!in)
        throw std::runtime_error("cannot read " + p.string());
    ByteArray bytes(static_cast<std::size_t>(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

// Makes a file longer, with a hole, as resize_file does. MinGW's resize_file stops short of
// 2 GiB: a file made that long gets its last byte written instead.
inline void ResizeFile(const std::filesystem::path& p, std::uint64_t size) {
    if (size < (std::uint64_t{1} << 30) || std::filesystem::file_size(p) >= size) {
        std::filesystem::resize_file(p, size);
        return;
    }
    std::fstream f(p, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(size - 1));
    f.put('\0');
    if (!f)
        throw std::runtime_error("cannot make " + p.string() + " longer");
}

// n bytes of a fixed pattern that differs from block to block.
inline ByteArray TestBytes(std::size_t n, unsigned variant = 1) {
    ByteArray b(n);
    std::uint32_t x = variant * 2654435761u + 1;
    for (auto& v : b) {
        x = x * 1103515245u + 12345u;
        v = static_cast<std::uint8_t>(x >> 16);
    }
    return b;
}

}  // namespace tavorin::test
