#pragma once
// Reads the published test vectors kept as data files (tests/data/*.vec):
//   [Section]   then records of "Name = value" lines; a record ends where its first field
//   name repeats. '#' starts a comment line.

#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "base/Types.h"

namespace tavorin::test {

struct VectorRecord {
    std::string file;
    std::string section;
    int line = 0;
    std::map<std::string, std::string> fields;
    const std::string& at(const std::string& name) const { return fields.at(name); }
};

inline void PrintTo(const VectorRecord& r, std::ostream* os) {
    *os << r.file << ":" << r.line << " [" << r.section << "]";
}

std::vector<VectorRecord> LoadVectors(const std::string& path);
// Every *.vec file of the test data folder.
std::vector<VectorRecord> LoadAllVectors();

ByteArray FromHex(const std::string& hex);
std::string ToHex(const ByteArray& bytes);  // upper case
// 32-bit words written in hex, separated by spaces.
std::vector<std::uint32_t> HexWords(const std::string& text);

}  // namespace tavorin::test

// Runs the records of one section in the parameterised known-answer test of the layer's program
// (PublishedVectors.cpp); call it from a static initializer of the test file that knows the
// section.
bool RegisterVectorRunner(const std::string& section, std::function<void(const tavorin::test::VectorRecord&)> runner);
