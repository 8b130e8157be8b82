// Every published vector of tests/data/*.vec, run by one parameterised test in the test
// program of the layer whose code it checks (TAVORIN_VECTOR_LAYER): a section is run by the
// runner of its name, which a test file of that layer registers (RegisterVectorRunner).
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "Vectors.h"

using namespace tavorin::test;

namespace {

using Runner = std::function<void(const VectorRecord&)>;

std::map<std::string, Runner>& Runners() {
    static std::map<std::string, Runner> runners;
    return runners;
}

// The layer whose test program runs each section. A section missing here is run by every
// program, and fails in those without its runner.
const std::map<std::string_view, std::string_view> kSectionLayers = {
    {"SHA-256", "codecs"},       {"Blowfish-standard", "engines"}, {"DES", "engines"},
    {"Skipjack", "engines"},     {"Twofish", "engines"},           {"Twofish-iterated", "engines"},
    {"Format-frame", "engines"}, {"Format-envelope", "envelope"},
};

std::vector<VectorRecord> OfThisLayer() {
    std::vector<VectorRecord> records;
    for (VectorRecord& r : LoadAllVectors()) {
        const auto layer = kSectionLayers.find(r.section);
        if (layer == kSectionLayers.end() || layer->second == TAVORIN_VECTOR_LAYER)
            records.push_back(std::move(r));
    }
    return records;
}

class PublishedVector : public ::testing::TestWithParam<VectorRecord> {};

std::string VectorName(const ::testing::TestParamInfo<VectorRecord>& info) {
    std::string name = info.param.section + "_line" + std::to_string(info.param.line);
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

}  // namespace

bool RegisterVectorRunner(const std::string& section, Runner runner) {
    Runners()[section] = std::move(runner);
    return true;
}

TEST_P(PublishedVector, Matches) {
    const VectorRecord& r = GetParam();
    const auto it = Runners().find(r.section);
    ASSERT_NE(it, Runners().end()) << "no runner for section [" << r.section << "]";
    it->second(r);
}

INSTANTIATE_TEST_SUITE_P(Data, PublishedVector, ::testing::ValuesIn(OfThisLayer()), VectorName);
