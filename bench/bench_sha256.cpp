// CSHA256 beside Crypto++'s and OpenSSL's SHA-256 over 1 MiB, and the hex codec both ways: over
// 1 MiB, and each path over the slices the envelope converts. Prints the ratios.
#include <cryptopp/sha.h>
#include <openssl/evp.h>

#include <random>

#include "BenchRatio.h"
#include "base/AnsiCodePage.h"
#include "codecs/CSHA256.h"
#include "codecs/modHEX.h"

using namespace tavorin;

namespace {

constexpr std::size_t kSize = 1u << 20;
// The envelope converts its pairs in slices of this size.
constexpr std::size_t kSlice = 1u << 16;

const ByteArray& Data() {
    static const ByteArray data = [] {
        std::mt19937 rng(1);
        ByteArray bytes(kSize);
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(rng());
        return bytes;
    }();
    return data;
}

void Throughput(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}

void Sha256_Tavorin(benchmark::State& state) {
    const ByteArray& data = Data();
    for (auto _ : state)
        benchmark::DoNotOptimize(CSHA256::Digest(data.data(), data.size()));
    Throughput(state);
}

void Sha256_TavorinPortable(benchmark::State& state) {
    const CSHA256::Path chosen = CSHA256::ActivePath();
    CSHA256::SelectPath(CSHA256::Path::Portable);
    const ByteArray& data = Data();
    for (auto _ : state)
        benchmark::DoNotOptimize(CSHA256::Digest(data.data(), data.size()));
    CSHA256::SelectPath(chosen);
    Throughput(state);
}

// The envelope's digest: a text of 1 Mi characters, low bytes.
void Sha256_TavorinText(benchmark::State& state) {
    const std::u16string text = AnsiCodePage::BytesToText(Data());
    const CSHA256 hash;
    for (auto _ : state)
        benchmark::DoNotOptimize(hash.SHA256(text));
    Throughput(state);
}

void Sha256_CryptoPP(benchmark::State& state) {
    const ByteArray& data = Data();
    std::uint8_t digest[32];
    for (auto _ : state) {
        CryptoPP::SHA256().CalculateDigest(digest, data.data(), data.size());
        benchmark::DoNotOptimize(digest);
    }
    Throughput(state);
}

void Sha256_OpenSSL(benchmark::State& state) {
    const ByteArray& data = Data();
    std::uint8_t digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    for (auto _ : state) {
        if (EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
            state.SkipWithError("EVP_Digest failed");
            return;
        }
        benchmark::DoNotOptimize(digest);
    }
    Throughput(state);
}

void Hex_StringToHex(benchmark::State& state) {
    const std::u16string text = AnsiCodePage::BytesToText(Data());
    for (auto _ : state)
        benchmark::DoNotOptimize(modHEX::StringToHex(text, u" "));
    Throughput(state);
}

void Hex_HexToString(benchmark::State& state) {
    const std::u16string hex = modHEX::StringToHex(AnsiCodePage::BytesToText(Data()), u" ");
    for (auto _ : state)
        benchmark::DoNotOptimize(modHEX::HexToString(hex, 1));
    Throughput(state);
}

void Hex_BytesToHex(benchmark::State& state) {
    const ByteArray& data = Data();
    for (auto _ : state)
        benchmark::DoNotOptimize(modHEX::BytesToHex(data.data(), data.size(), " "));
    Throughput(state);
}

void Hex_HexToBytes(benchmark::State& state) {
    const std::string hex = modHEX::BytesToHex(Data().data(), kSize, " ");
    for (auto _ : state)
        benchmark::DoNotOptimize(modHEX::HexToBytes(std::string_view(hex), 1));
    Throughput(state);
}

// The envelope's pairs both ways on one path of the codec, one slice at a time.
template <modHEX::Path path>
void Hex_SpacedPairs(benchmark::State& state) {
    const modHEX::Path chosen = modHEX::ActivePath();
    if (!modHEX::SelectPath(path)) {
        state.SkipWithError("the CPU cannot run this path");
        return;
    }
    std::string out(3 * kSlice, ' ');
    for (auto _ : state) {
        modHEX::WriteSpacedPairs(Data().data(), kSlice, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    modHEX::SelectPath(chosen);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSlice));
}

template <modHEX::Path path>
void Hex_ReadPairs(benchmark::State& state) {
    const modHEX::Path chosen = modHEX::ActivePath();
    const std::string hex = modHEX::BytesToHex(Data().data(), kSlice, " ");
    if (!modHEX::SelectPath(path)) {
        state.SkipWithError("the CPU cannot run this path");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(modHEX::HexToBytes(std::string_view(hex), 1));
    modHEX::SelectPath(chosen);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSlice));
}

// The same from far memory: 16 MiB of bytes to 48 MiB of pairs, more than any cache holds.
template <modHEX::Path path>
void Hex_SpacedPairsFar(benchmark::State& state) {
    constexpr std::size_t kFar = std::size_t{16} << 20;
    const modHEX::Path chosen = modHEX::ActivePath();
    if (!modHEX::SelectPath(path)) {
        state.SkipWithError("the CPU cannot run this path");
        return;
    }
    ByteArray data(kFar);
    for (std::size_t i = 0; i < kFar; ++i)
        data[i] = Data()[i % kSize];
    std::string out(3 * kFar, ' ');
    for (auto _ : state) {
        modHEX::WriteSpacedPairs(data.data(), kFar, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    modHEX::SelectPath(chosen);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFar));
}

// Space-led pairs, as pasted envelopes are read.
template <modHEX::Path path>
void Hex_LedPairs(benchmark::State& state) {
    const modHEX::Path chosen = modHEX::ActivePath();
    const std::string text = " " + modHEX::BytesToHex(Data().data(), kSlice, " ");
    ByteArray out(kSlice);
    if (!modHEX::SelectPath(path)) {
        state.SkipWithError("the CPU cannot run this path");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(modHEX::ReadSpaceLedPairs(text.data(), text.size(), kSlice, out.data()));
    modHEX::SelectPath(chosen);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSlice));
}

}  // namespace

BENCHMARK(Sha256_Tavorin);
BENCHMARK(Sha256_TavorinPortable);
BENCHMARK(Sha256_TavorinText);
BENCHMARK(Sha256_CryptoPP);
BENCHMARK(Sha256_OpenSSL);
BENCHMARK(Hex_StringToHex);
BENCHMARK(Hex_HexToString);
BENCHMARK(Hex_BytesToHex);
BENCHMARK(Hex_HexToBytes);
BENCHMARK(Hex_SpacedPairs<modHEX::Path::Portable>)->Name("Hex_Encode_Portable");
BENCHMARK(Hex_SpacedPairs<modHEX::Path::Ssse3>)->Name("Hex_Encode_Ssse3");
BENCHMARK(Hex_SpacedPairs<modHEX::Path::Avx2>)->Name("Hex_Encode_Avx2");
BENCHMARK(Hex_SpacedPairs<modHEX::Path::Avx512>)->Name("Hex_Encode_Avx512");
BENCHMARK(Hex_SpacedPairsFar<modHEX::Path::Portable>)->Name("Hex_EncodeFar_Portable");
BENCHMARK(Hex_SpacedPairsFar<modHEX::Path::Avx2>)->Name("Hex_EncodeFar_Avx2");
BENCHMARK(Hex_SpacedPairsFar<modHEX::Path::Avx512>)->Name("Hex_EncodeFar_Avx512");
BENCHMARK(Hex_ReadPairs<modHEX::Path::Portable>)->Name("Hex_Decode_Portable");
BENCHMARK(Hex_ReadPairs<modHEX::Path::Ssse3>)->Name("Hex_Decode_Ssse3");
BENCHMARK(Hex_ReadPairs<modHEX::Path::Avx2>)->Name("Hex_Decode_Avx2");
BENCHMARK(Hex_LedPairs<modHEX::Path::Portable>)->Name("Hex_Led_Portable");
BENCHMARK(Hex_LedPairs<modHEX::Path::Avx2>)->Name("Hex_Led_Avx2");
BENCHMARK(Hex_LedPairs<modHEX::Path::Avx512>)->Name("Hex_Led_Avx512");

int main(int argc, char** argv) {
    const auto rates = bench::RunAndCollect(argc, argv);
    std::printf("\nSHA-256 over 1 MiB, %s path chosen at run time\n",
                CSHA256::ShaExtensionsAvailable() ? "SHA-extension" : "portable");
    bench::PrintRatio(rates, "CSHA256", "Sha256_Tavorin", {"Sha256_CryptoPP", "Sha256_OpenSSL"}, 0.9);
    bench::PrintRatio(rates, "CSHA256 text (low bytes)", "Sha256_TavorinText", {"Sha256_CryptoPP", "Sha256_OpenSSL"},
                      0.9);
    bench::PrintRatio(rates, "CSHA256 portable (for reference)", "Sha256_TavorinPortable",
                      {"Sha256_CryptoPP", "Sha256_OpenSSL"}, 0.0);
    std::printf("\nHex codec over 1 MiB of bytes, separator \" \"\n");
    bench::PrintThroughput(rates, "StringToHex", "Hex_StringToHex");
    bench::PrintThroughput(rates, "HexToString", "Hex_HexToString");
    bench::PrintThroughput(rates, "BytesToHex", "Hex_BytesToHex");
    bench::PrintThroughput(rates, "HexToBytes", "Hex_HexToBytes");
    std::printf("\nThe envelope's pairs in 64 KiB slices, vector paths over the portable table code\n");
    bench::PrintRatio(rates, "encode SSSE3", "Hex_Encode_Ssse3", {"Hex_Encode_Portable"}, 4.0);
    bench::PrintRatio(rates, "encode AVX2", "Hex_Encode_Avx2", {"Hex_Encode_Portable"}, 4.0);
    bench::PrintRatio(rates, "encode AVX-512", "Hex_Encode_Avx512", {"Hex_Encode_Portable"}, 4.0);
    bench::PrintRatio(rates, "encode AVX2, 16 MiB from far memory", "Hex_EncodeFar_Avx2", {"Hex_EncodeFar_Portable"},
                      0.0);
    bench::PrintRatio(rates, "encode AVX-512, 16 MiB from far memory", "Hex_EncodeFar_Avx512",
                      {"Hex_EncodeFar_Portable"}, 0.0);
    bench::PrintRatio(rates, "decode SSSE3", "Hex_Decode_Ssse3", {"Hex_Decode_Portable"}, 3.0);
    bench::PrintRatio(rates, "decode AVX2", "Hex_Decode_Avx2", {"Hex_Decode_Portable"}, 3.0);
    bench::PrintRatio(rates, "space-led pairs AVX2", "Hex_Led_Avx2", {"Hex_Led_Portable"}, 3.0);
    bench::PrintRatio(rates, "space-led pairs AVX-512", "Hex_Led_Avx512", {"Hex_Led_Portable"}, 3.0);
    return 0;
}
