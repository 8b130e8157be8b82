#include "Vectors.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tavorin::test {

namespace {

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

}  // namespace

std::vector<VectorRecord> LoadVectors(const std::string& path) {
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::vector<VectorRecord> out;
    std::string section, line, first;
    VectorRecord current;
    int number = 0;
    auto flush = [&] {
        if (!current.fields.empty())
            out.push_back(current);
        current = VectorRecord{};
    };
    while (std::getline(in, line)) {
        ++number;
        const std::string t = Trim(line);
        if (t.empty() || t[0] == '#')
            continue;
        if (t.front() == '[' && t.back() == ']') {
            flush();
            section = t.substr(1, t.size() - 2);
            first.clear();
            continue;
        }
        const auto eq = t.find('=');
        if (eq == std::string::npos)
            throw std::runtime_error(path + ":" + std::to_string(number) + ": no '='");
        const std::string name = Trim(t.substr(0, eq));
        // Values keep inner spaces; only the one space after '=' is dropped.
        std::string value = t.substr(eq + 1);
        if (!value.empty() && value[0] == ' ')
            value.erase(0, 1);
        if (first.empty())
            first = name;
        if (name == first)
            flush();
        if (current.fields.empty()) {
            current.file = std::filesystem::path(path).filename().string();
            current.section = section;
            current.line = number;
        }
        current.fields[name] = value;
    }
    flush();
    return out;
}

std::vector<VectorRecord> LoadAllVectors() {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(TAVORIN_TEST_DATA)) {
        if (entry.path().extension() == ".vec")
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    std::vector<VectorRecord> all;
    for (const auto& f : files) {
        auto v = LoadVectors(f.string());
        all.insert(all.end(), v.begin(), v.end());
    }
    return all;
}

ByteArray FromHex(const std::string& hex) {
    ByteArray out;
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        throw std::runtime_error(std::string("bad hex digit ") + c);
    };
    std::string h;
    for (char c : hex)
        if (c != ' ')
            h.push_back(c);
    if (h.size() % 2)
        throw std::runtime_error("odd hex length");
    for (std::size_t i = 0; i < h.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(digit(h[i]) * 16 + digit(h[i + 1])));
    }
    return out;
}

std::string ToHex(const ByteArray& bytes) {
    static const char* d = "0123456789ABCDEF";
    std::string s;
    for (auto b : bytes) {
        s.push_back(d[b >> 4]);
        s.push_back(d[b & 15]);
    }
    return s;
}

std::vector<std::uint32_t> HexWords(const std::string& text) {
    std::vector<std::uint32_t> words;
    std::istringstream in(text);
    for (std::string w; in >> w;)
        words.push_back(static_cast<std::uint32_t>(std::stoul(w, nullptr, 16)));
    return words;
}

}  // namespace tavorin::test
