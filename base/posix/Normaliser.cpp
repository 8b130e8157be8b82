// The one unit that uses ICU; a build without it (TAVORIN_NO_ICU) gets normalised text.
#include "base/Normaliser.h"

#ifndef TAVORIN_NO_ICU
#include <dlfcn.h>
#include <unicode/unorm2.h>
#include <unicode/uversion.h>
#endif

#include <cstdint>
#include <limits>

#include "base/Failure.h"
#include "base/Memory.h"

namespace tavorin {

#ifndef TAVORIN_NO_ICU
namespace {

// ICU is loaded the first time a text needs it. Most keys and messages hold nothing from
// U+0300 on and never do; a short run then starts without mapping and relocating the
// library. (The package still depends on it: nothing links it for the package tools to see.)
struct Icu {
    decltype(&unorm2_getNFCInstance) nfcInstance = nullptr;
    decltype(&unorm2_normalize) normalize = nullptr;
};

// The library's name and its versioned entry points, from the headers built against.
#define TAVORIN_ICU_TEXT(x) #x
#define TAVORIN_ICU_NAME(x) TAVORIN_ICU_TEXT(x)

const Icu* LoadIcu() {
    static const Icu icu = [] {
        Icu found;
        if (void* library = dlopen("libicuuc.so." TAVORIN_ICU_NAME(U_ICU_VERSION_MAJOR_NUM), RTLD_NOW | RTLD_LOCAL)) {
            found.nfcInstance =
                reinterpret_cast<decltype(found.nfcInstance)>(dlsym(library, TAVORIN_ICU_NAME(unorm2_getNFCInstance)));
            found.normalize =
                reinterpret_cast<decltype(found.normalize)>(dlsym(library, TAVORIN_ICU_NAME(unorm2_normalize)));
        }
        return found;
    }();
    return icu.nfcInstance != nullptr && icu.normalize != nullptr ? &icu : nullptr;
}

#undef TAVORIN_ICU_NAME
#undef TAVORIN_ICU_TEXT

}  // namespace
#endif

std::u16string SystemNFC(std::u16string_view text) {
#ifdef TAVORIN_NO_ICU
    return std::u16string(text);  // normalised by the caller (the web page, in the browser)
#else
    const Icu* icu = LoadIcu();
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* nfc = icu != nullptr ? icu->nfcInstance(&status) : nullptr;
    if (nfc == nullptr || U_FAILURE(status)) {
        throw Failure(FailureKind::CannotNormalise, "Unicode normalisation is unavailable");
    }
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max() / 4)) {
        throw Failure(FailureKind::CannotNormalise, "The text is too long to be normalised");
    }
    // NFC makes a text at most three times longer. With room for that ICU writes straight
    // into this buffer, which is ours to wipe (the text may be a key), and keeps no copy.
    std::u16string out(3 * text.size() + 16, u'\0');
    const int32_t length = icu->normalize(nfc, text.data(), static_cast<int32_t>(text.size()), out.data(),
                                          static_cast<int32_t>(out.size()), &status);
    if (U_FAILURE(status)) {
        SecureWipe(out);
        throw Failure(FailureKind::CannotNormalise, "The text cannot be normalised");
    }
    out.resize(static_cast<std::size_t>(length));
    return out;
#endif
}

}  // namespace tavorin
