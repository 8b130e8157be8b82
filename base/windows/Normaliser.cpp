// The Windows side of base/Normaliser.h: the system's own normaliser (normaliz.dll), so that
// keys typed on Windows become the same bytes as anywhere else.
#include "base/Normaliser.h"

#include <windows.h>

#include <climits>

#include "base/Failure.h"
#include "base/Memory.h"

namespace tavorin {

std::u16string SystemNFC(std::u16string_view text) {
    if (text.empty()) {
        return {};
    }
    if (text.size() > static_cast<std::size_t>(INT_MAX / 4)) {
        throw Failure(FailureKind::CannotNormalise, "The text is too long to be normalised");
    }
    const auto* in = reinterpret_cast<const wchar_t*>(text.data());
    const int inLength = static_cast<int>(text.size());
    // NFC makes a text at most three times longer; with room for that one call does it, into a
    // buffer that is ours to wipe (the text may be a key). The system's estimate is asked only
    // when that is not enough.
    std::u16string out(3 * text.size() + 16, u'\0');
    for (int tries = 0; tries < 4; ++tries) {
        const int length = NormalizeString(NormalizationC, in, inLength, reinterpret_cast<wchar_t*>(out.data()),
                                           static_cast<int>(out.size()));
        if (length > 0) {
            out.resize(static_cast<std::size_t>(length));
            return out;
        }
        const DWORD error = GetLastError();
        SecureWipe(out);
        if (error != ERROR_INSUFFICIENT_BUFFER) {
            throw Failure(FailureKind::CannotNormalise, "The text cannot be normalised");
        }
        const int estimate = NormalizeString(NormalizationC, in, inLength, nullptr, 0);
        out.assign(static_cast<std::size_t>(estimate > 0 ? estimate : 0) + out.size(), u'\0');
    }
    throw Failure(FailureKind::CannotNormalise, "The text cannot be normalised");
}

}  // namespace tavorin
