// DES and Gost CBC over 1 MiB, encryption and decryption, beside every reference library
// with the same cipher family: DES in Crypto++, OpenSSL (the low-level DES_ncbc_encrypt),
// libgcrypt and Botan; GOST 28147-89 in Crypto++, libgcrypt and Botan (their S-boxes and
// byte order differ from ours, their speed does not). Ours runs the whole frame
// (EncryptByte/DecryptByte). Prints ours/fastest.
#define OPENSSL_SUPPRESS_DEPRECATED 1

#include <botan/cipher_mode.h>
#include <cryptopp/des.h>
#include <cryptopp/gost.h>
#include <cryptopp/modes.h>
#include <gcrypt.h>
#include <openssl/des.h>

#include <memory>
#include <random>

#include "BenchData.h"
#include "BenchRatio.h"
#include "base/AnsiCodePage.h"
#include "engines/clsDES.h"
#include "engines/clsGost.h"

using namespace tavorin;
using namespace tavorin::bench;

namespace {

// Key bytes for the libraries; the same bytes as key text for ours (DES takes the first 8).
const ByteArray& KeyBytes() {
    static const ByteArray key = RandomBytes(32, 2);
    return key;
}

// --- ours -------------------------------------------------------------------------------

template <class E>
void Ours_Encrypt(benchmark::State& state) {
    E engine;
    const std::u16string key = AnsiCodePage::BytesToText(KeyBytes());
    ByteArray work;
    work.reserve(kSize + 32);
    for (auto _ : state) {
        work.assign(Data().begin(), Data().end());
        engine.EncryptByte(work, key);
        benchmark::DoNotOptimize(work.data());
    }
    Throughput(state);
}

template <class E>
void Ours_Decrypt(benchmark::State& state) {
    E engine;
    const std::u16string key = AnsiCodePage::BytesToText(KeyBytes());
    ByteArray cipher = Data();
    engine.EncryptByte(cipher, key);
    ByteArray work;
    work.reserve(cipher.size());
    for (auto _ : state) {
        state.PauseTiming();
        work.assign(cipher.begin(), cipher.end());
        state.ResumeTiming();
        if (!engine.DecryptByte(work, key)) {
            state.SkipWithError("frame did not decrypt");
            return;
        }
        benchmark::DoNotOptimize(work.data());
    }
    Throughput(state);
}

// --- Crypto++ ---------------------------------------------------------------------------

template <class Mode>
void CryptoPP_Cbc(benchmark::State& state, std::size_t keyLength) {
    const std::uint8_t iv[8] = {};
    Mode mode(KeyBytes().data(), keyLength, iv);
    ByteArray out(kSize);
    for (auto _ : state) {
        mode.Resynchronize(iv);
        mode.ProcessData(out.data(), Data().data(), kSize);
        benchmark::DoNotOptimize(out.data());
    }
    Throughput(state);
}

// --- OpenSSL ----------------------------------------------------------------------------

void OpenSSL_Des(benchmark::State& state, int encrypt) {
    DES_cblock key;
    std::copy_n(KeyBytes().begin(), 8, key);
    DES_key_schedule schedule;
    DES_set_key_unchecked(&key, &schedule);
    ByteArray out(kSize);
    for (auto _ : state) {
        DES_cblock iv = {};
        DES_ncbc_encrypt(Data().data(), out.data(), static_cast<long>(kSize), &schedule, &iv, encrypt);
        benchmark::DoNotOptimize(out.data());
    }
    Throughput(state);
}

// --- libgcrypt --------------------------------------------------------------------------

void Gcrypt_Cbc(benchmark::State& state, int algorithm, std::size_t keyLength, bool encrypt) {
    gcry_check_version(nullptr);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    gcry_cipher_hd_t h = nullptr;
    if (gcry_cipher_open(&h, algorithm, GCRY_CIPHER_MODE_CBC, 0) != 0) {
        state.SkipWithError("gcry_cipher_open failed");
        return;
    }
    const gcry_error_t keyed = gcry_cipher_setkey(h, KeyBytes().data(), keyLength);
    if (keyed != 0 && gcry_err_code(keyed) != GPG_ERR_WEAK_KEY) {
        state.SkipWithError("gcry_cipher_setkey failed");
        gcry_cipher_close(h);
        return;
    }
    const std::uint8_t iv[8] = {};
    ByteArray out(kSize);
    for (auto _ : state) {
        gcry_cipher_setiv(h, iv, 8);
        const gcry_error_t e = encrypt ? gcry_cipher_encrypt(h, out.data(), kSize, Data().data(), kSize)
                                       : gcry_cipher_decrypt(h, out.data(), kSize, Data().data(), kSize);
        if (e != 0) {
            state.SkipWithError("gcrypt failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    gcry_cipher_close(h);
    Throughput(state);
}

// --- Botan ------------------------------------------------------------------------------

void Botan_Cbc(benchmark::State& state, const char* name, std::size_t keyLength, bool encrypt) {
    auto mode = Botan::Cipher_Mode::create(name, encrypt ? Botan::ENCRYPTION : Botan::DECRYPTION);
    if (!mode) {
        state.SkipWithError("Botan has no such mode");
        return;
    }
    mode->set_key(KeyBytes().data(), keyLength);
    const std::uint8_t iv[8] = {};
    ByteArray work(kSize);
    for (auto _ : state) {
        // In place: the copy is Botan's only way to keep the input, and costs ~1%.
        std::copy(Data().begin(), Data().end(), work.begin());
        mode->start(iv, 8);
        mode->process(work.data(), kSize);
        benchmark::DoNotOptimize(work.data());
    }
    Throughput(state);
}

void Register() {
    const auto reg = [](const char* name, auto&& f) {
        benchmark::RegisterBenchmark(name, f)->Unit(benchmark::kMillisecond);
    };
    reg("DES_Encrypt/Ours", Ours_Encrypt<clsDES>);
    reg("DES_Encrypt/CryptoPP",
        [](benchmark::State& s) { CryptoPP_Cbc<CryptoPP::CBC_Mode<CryptoPP::DES>::Encryption>(s, 8); });
    reg("DES_Encrypt/OpenSSL", [](benchmark::State& s) { OpenSSL_Des(s, DES_ENCRYPT); });
    reg("DES_Encrypt/Gcrypt", [](benchmark::State& s) { Gcrypt_Cbc(s, GCRY_CIPHER_DES, 8, true); });
    reg("DES_Encrypt/Botan", [](benchmark::State& s) { Botan_Cbc(s, "DES/CBC/NoPadding", 8, true); });
    reg("DES_Decrypt/Ours", Ours_Decrypt<clsDES>);
    reg("DES_Decrypt/CryptoPP",
        [](benchmark::State& s) { CryptoPP_Cbc<CryptoPP::CBC_Mode<CryptoPP::DES>::Decryption>(s, 8); });
    reg("DES_Decrypt/OpenSSL", [](benchmark::State& s) { OpenSSL_Des(s, DES_DECRYPT); });
    reg("DES_Decrypt/Gcrypt", [](benchmark::State& s) { Gcrypt_Cbc(s, GCRY_CIPHER_DES, 8, false); });
    reg("DES_Decrypt/Botan", [](benchmark::State& s) { Botan_Cbc(s, "DES/CBC/NoPadding", 8, false); });

    reg("Gost_Encrypt/Ours", Ours_Encrypt<clsGost>);
    reg("Gost_Encrypt/CryptoPP",
        [](benchmark::State& s) { CryptoPP_Cbc<CryptoPP::CBC_Mode<CryptoPP::GOST>::Encryption>(s, 32); });
    reg("Gost_Encrypt/Gcrypt", [](benchmark::State& s) { Gcrypt_Cbc(s, GCRY_CIPHER_GOST28147, 32, true); });
    reg("Gost_Encrypt/Botan", [](benchmark::State& s) { Botan_Cbc(s, "GOST-28147-89/CBC/NoPadding", 32, true); });
    reg("Gost_Decrypt/Ours", Ours_Decrypt<clsGost>);
    reg("Gost_Decrypt/CryptoPP",
        [](benchmark::State& s) { CryptoPP_Cbc<CryptoPP::CBC_Mode<CryptoPP::GOST>::Decryption>(s, 32); });
    reg("Gost_Decrypt/Gcrypt", [](benchmark::State& s) { Gcrypt_Cbc(s, GCRY_CIPHER_GOST28147, 32, false); });
    reg("Gost_Decrypt/Botan", [](benchmark::State& s) { Botan_Cbc(s, "GOST-28147-89/CBC/NoPadding", 32, false); });
}

}  // namespace

int main(int argc, char** argv) {
    Register();
    const bench::Throughputs rates = bench::RunAndCollect(argc, argv);
    for (const char* cipher : {"DES", "Gost"}) {
        for (const char* op : {"Encrypt", "Decrypt"}) {
            const std::string prefix = std::string(cipher) + "_" + op + "/";
            const double target = std::string(op) == "Encrypt" ? 1.05 : (std::string(cipher) == "DES" ? 1.1 : 2.5);
            const std::string label =
                std::string(cipher) + " CBC " + (std::string(op) == "Encrypt" ? "encryption" : "decryption");
            bench::PrintRatio(rates, label.c_str(), prefix + "Ours",
                              {prefix + "CryptoPP", prefix + "OpenSSL", prefix + "Gcrypt", prefix + "Botan"}, target);
        }
    }
    return 0;
}
