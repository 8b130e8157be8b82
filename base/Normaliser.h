#pragma once
// The system's Unicode normaliser. Part of the platform layer: made in base/posix/Normaliser.cpp
// (ICU, opened at run time; the one unit of the tree that uses it) and
// base/windows/Normaliser.cpp (NormalizeString). NormalizeNFC (base/AnsiCodePage.h) calls it
// only for a text that normalisation may change.

#include <string>
#include <string_view>

namespace tavorin {

// The text in Unicode normalisation form C. Throws Failure(InvalidArgument) when no normaliser
// can be had or the text cannot be normalised. Every copy made on the way is wiped (the text
// may be a key). A build without a normaliser (TAVORIN_NO_ICU: the web page, which normalises
// in the browser before the text reaches the core) returns the text as it is.
std::u16string SystemNFC(std::u16string_view text);

}  // namespace tavorin
