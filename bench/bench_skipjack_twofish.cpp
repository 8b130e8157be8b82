// Skipjack and Twofish CBC encryption and decryption over 1 MiB, beside every reference
// library that has the same cipher: Skipjack in Crypto++ only; Twofish in Crypto++,
// libgcrypt (assembly) and Botan. Prints ours/fastest for each direction.
#include <botan/cipher_mode.h>
#include <cryptopp/modes.h>
#include <cryptopp/skipjack.h>
#include <cryptopp/twofish.h>
#include <gcrypt.h>

#include <memory>
#include <random>

#include "BenchData.h"
#include "BenchRatio.h"
#include "base/AnsiCodePage.h"
#include "engines/clsSkipjack.h"
#include "engines/clsTwofish.h"

using namespace tavorin;
using namespace tavorin::bench;

namespace {

const ByteArray& SkipjackKey() {
    static const ByteArray key = RandomBytes(10, 2);
    return key;
}

const ByteArray& TwofishKey() {
    static const ByteArray key = RandomBytes(32, 3);
    return key;
}

// Ours: the whole byte operation (frame, chaining, block function) in place. Restoring the
// input between iterations is not timed.
template <class E>
void OursEncrypt(benchmark::State& state, const ByteArray& key) {
    E engine;
    engine.Key(AnsiCodePage::BytesToText(key));
    ByteArray buffer;
    buffer.reserve(kSize + 64);
    for (auto _ : state) {
        state.PauseTiming();
        buffer.assign(Data().begin(), Data().end());
        state.ResumeTiming();
        engine.EncryptByte(buffer);
        benchmark::DoNotOptimize(buffer.data());
    }
    Throughput(state);
}

template <class E>
void OursDecrypt(benchmark::State& state, const ByteArray& key) {
    E engine;
    engine.Key(AnsiCodePage::BytesToText(key));
    ByteArray sealed = Data();
    engine.EncryptByte(sealed);
    ByteArray buffer;
    buffer.reserve(sealed.size());
    for (auto _ : state) {
        state.PauseTiming();
        buffer.assign(sealed.begin(), sealed.end());
        state.ResumeTiming();
        if (!engine.DecryptByte(buffer))
            state.SkipWithError("frame did not decrypt");
        benchmark::DoNotOptimize(buffer.data());
    }
    Throughput(state);
}

template <class Mode>
void CryptoPPRun(benchmark::State& state, const ByteArray& key, std::size_t block, bool decrypt) {
    const ByteArray iv(block, 0);
    Mode mode(key.data(), key.size(), iv.data());
    ByteArray out(kSize);
    const ByteArray input = decrypt ? RandomBytes(kSize, 4) : Data();
    for (auto _ : state) {
        mode.Resynchronize(iv.data());
        mode.ProcessData(out.data(), input.data(), input.size());
        benchmark::DoNotOptimize(out.data());
    }
    Throughput(state);
}

void Skipjack_Ours_Encrypt(benchmark::State& s) { OursEncrypt<clsSkipjack>(s, SkipjackKey()); }
void Skipjack_Ours_Decrypt(benchmark::State& s) { OursDecrypt<clsSkipjack>(s, SkipjackKey()); }
void Skipjack_CryptoPP_Encrypt(benchmark::State& s) {
    CryptoPPRun<CryptoPP::CBC_Mode<CryptoPP::SKIPJACK>::Encryption>(s, SkipjackKey(), 8, false);
}
void Skipjack_CryptoPP_Decrypt(benchmark::State& s) {
    CryptoPPRun<CryptoPP::CBC_Mode<CryptoPP::SKIPJACK>::Decryption>(s, SkipjackKey(), 8, true);
}

void Twofish_Ours_Encrypt(benchmark::State& s) { OursEncrypt<clsTwofish>(s, TwofishKey()); }
void Twofish_Ours_Decrypt(benchmark::State& s) { OursDecrypt<clsTwofish>(s, TwofishKey()); }
void Twofish_CryptoPP_Encrypt(benchmark::State& s) {
    CryptoPPRun<CryptoPP::CBC_Mode<CryptoPP::Twofish>::Encryption>(s, TwofishKey(), 16, false);
}
void Twofish_CryptoPP_Decrypt(benchmark::State& s) {
    CryptoPPRun<CryptoPP::CBC_Mode<CryptoPP::Twofish>::Decryption>(s, TwofishKey(), 16, true);
}

void GcryptRun(benchmark::State& state, bool decrypt) {
    gcry_cipher_hd_t h = nullptr;
    if (gcry_cipher_open(&h, GCRY_CIPHER_TWOFISH, GCRY_CIPHER_MODE_CBC, 0) != 0 ||
        gcry_cipher_setkey(h, TwofishKey().data(), TwofishKey().size()) != 0) {
        state.SkipWithError("libgcrypt Twofish unavailable");
        return;
    }
    const ByteArray iv(16, 0);
    const ByteArray input = decrypt ? RandomBytes(kSize, 4) : Data();
    ByteArray out(kSize);
    for (auto _ : state) {
        gcry_cipher_setiv(h, iv.data(), iv.size());
        const gcry_error_t err = decrypt ? gcry_cipher_decrypt(h, out.data(), out.size(), input.data(), input.size())
                                         : gcry_cipher_encrypt(h, out.data(), out.size(), input.data(), input.size());
        if (err != 0) {
            state.SkipWithError("libgcrypt failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    gcry_cipher_close(h);
    Throughput(state);
}

void Twofish_Gcrypt_Encrypt(benchmark::State& s) { GcryptRun(s, false); }
void Twofish_Gcrypt_Decrypt(benchmark::State& s) { GcryptRun(s, true); }

void BotanRun(benchmark::State& state, bool decrypt) {
    auto mode = Botan::Cipher_Mode::create("Twofish/CBC/NoPadding", decrypt ? Botan::DECRYPTION : Botan::ENCRYPTION);
    if (!mode) {
        state.SkipWithError("Botan Twofish unavailable");
        return;
    }
    mode->set_key(TwofishKey().data(), TwofishKey().size());
    const ByteArray iv(16, 0);
    const ByteArray input = decrypt ? RandomBytes(kSize, 4) : Data();
    ByteArray buffer(kSize);
    for (auto _ : state) {
        state.PauseTiming();
        buffer.assign(input.begin(), input.end());
        state.ResumeTiming();
        mode->start(iv.data(), iv.size());
        mode->process(buffer.data(), buffer.size());
        benchmark::DoNotOptimize(buffer.data());
    }
    Throughput(state);
}

void Twofish_Botan_Encrypt(benchmark::State& s) { BotanRun(s, false); }
void Twofish_Botan_Decrypt(benchmark::State& s) { BotanRun(s, true); }

}  // namespace

BENCHMARK(Skipjack_Ours_Encrypt)->Unit(benchmark::kMillisecond);
BENCHMARK(Skipjack_CryptoPP_Encrypt)->Unit(benchmark::kMillisecond);
BENCHMARK(Skipjack_Ours_Decrypt)->Unit(benchmark::kMillisecond);
BENCHMARK(Skipjack_CryptoPP_Decrypt)->Unit(benchmark::kMillisecond);
BENCHMARK(Twofish_Ours_Encrypt)->Unit(benchmark::kMillisecond);
BENCHMARK(Twofish_CryptoPP_Encrypt)->Unit(benchmark::kMillisecond);
BENCHMARK(Twofish_Gcrypt_Encrypt)->Unit(benchmark::kMillisecond);
BENCHMARK(Twofish_Botan_Encrypt)->Unit(benchmark::kMillisecond);
BENCHMARK(Twofish_Ours_Decrypt)->Unit(benchmark::kMillisecond);
BENCHMARK(Twofish_CryptoPP_Decrypt)->Unit(benchmark::kMillisecond);
BENCHMARK(Twofish_Gcrypt_Decrypt)->Unit(benchmark::kMillisecond);
BENCHMARK(Twofish_Botan_Decrypt)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (gcry_check_version(nullptr) == nullptr)
        return 1;
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    const auto rates = bench::RunAndCollect(argc, argv);
    std::printf("\nCBC over 1 MiB: Skipjack with a 10-byte key, Twofish with a 32-byte key\n");
    bench::PrintRatio(rates, "Skipjack encryption", "Skipjack_Ours_Encrypt", {"Skipjack_CryptoPP_Encrypt"}, 1.5);
    bench::PrintRatio(rates, "Skipjack decryption", "Skipjack_Ours_Decrypt", {"Skipjack_CryptoPP_Decrypt"}, 2.5);
    bench::PrintRatio(rates, "Twofish encryption", "Twofish_Ours_Encrypt",
                      {"Twofish_CryptoPP_Encrypt", "Twofish_Gcrypt_Encrypt", "Twofish_Botan_Encrypt"}, 1.05);
    bench::PrintRatio(rates, "Twofish decryption", "Twofish_Ours_Decrypt",
                      {"Twofish_CryptoPP_Decrypt", "Twofish_Gcrypt_Decrypt", "Twofish_Botan_Decrypt"}, 1.2);
    return 0;
}
