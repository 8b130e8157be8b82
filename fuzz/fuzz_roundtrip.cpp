// EncryptByte then DecryptByte, with fuzzed keys and data, must give the data back: on the
// same engine, on a fresh one, and on one that was keyed with something else before (a
// key schedule that keeps traces of an earlier key shows here). The string forms too.
#include <array>
#include <cstring>

#include "base/Failure.h"
#include "engines/FrameFormat.h"
#include "fuzz/FuzzSupport.h"

using namespace tavorin;

namespace {

// Engines that have seen many keys, one per kind, kept across inputs.
Engine& Seasoned(std::size_t index) {
    static std::vector<std::unique_ptr<Engine>> engines;
    if (engines.empty()) {
        for (std::size_t i = 0; i < fuzz::EngineList().size(); ++i)
            engines.push_back(fuzz::MakeEngine(i));
    }
    return *engines[index % engines.size()];
}

bool KeyAccepted(Engine& e, std::u16string_view key) {
    try {
        e.Key(key);
        return true;
    } catch (const Failure& f) {
        FUZZ_CHECK(f.Number() == Failure::InvalidArgument || f.Number() == Failure::SubscriptOutOfRange);
        return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::size_t index = in.ConsumeIntegral<std::uint8_t>();
    const std::u16string key = fuzz::ConsumeKey(in);
    const std::u16string other = fuzz::ConsumeKey(in);
    const std::vector<std::uint8_t> raw = in.ConsumeRemainingBytes<std::uint8_t>();
    const ByteArray message(raw.begin(), raw.end());

    auto writer = fuzz::MakeEngine(index);
    const std::size_t B = writer->BlockSize();
    ByteArray sealed = message;
    try {
        writer->EncryptByte(sealed, key);
    } catch (const Failure& f) {
        // Only a refused key, or an engine that cannot work without one.
        FUZZ_CHECK(sealed == message);
        FUZZ_CHECK(f.Number() == Failure::InvalidArgument ||
                   (key.empty() && f.Number() == Failure::SubscriptOutOfRange));
        return 0;
    }
    FUZZ_CHECK(sealed.size() == frame::FrameLength(message.size(), B));

    // The writer itself, and a fresh engine given the same key.
    ByteArray copy = sealed;
    FUZZ_CHECK(writer->DecryptByte(copy));
    FUZZ_CHECK(copy == message);
    auto reader = fuzz::MakeEngine(index);
    copy = sealed;
    FUZZ_CHECK(reader->DecryptByte(copy, key));
    FUZZ_CHECK(copy == message);

    // A long-lived engine keyed with another key first; a fresh one must encrypt a block
    // exactly as it does once both hold the same key.
    if (!key.empty()) {
        Engine& seasoned = Seasoned(index);
        if (!other.empty() && KeyAccepted(seasoned, other)) {
            std::array<std::uint8_t, 16> block{};
            seasoned.RawEncryptBlock(block.data());
        }
        copy = sealed;
        FUZZ_CHECK(seasoned.DecryptByte(copy, key));
        FUZZ_CHECK(copy == message);
        std::array<std::uint8_t, 16> a{}, b{};
        if (!message.empty())
            std::memcpy(a.data(), message.data(), std::min(message.size(), a.size()));
        b = a;
        seasoned.RawEncryptBlock(a.data());
        reader->RawEncryptBlock(b.data());
        FUZZ_CHECK(std::memcmp(a.data(), b.data(), B) == 0);
    }

    // Text through the code page, one character per byte.
    const std::u16string text = AnsiCodePage::BytesToText(message);
    const std::u16string cipherText = writer->EncryptString(text);
    FUZZ_CHECK(cipherText.size() == frame::FrameLength(message.size(), B));
    FUZZ_CHECK(reader->DecryptString(cipherText) == text);
    return 0;
}
