#pragma once
// The one gate every front end passes keys and messages through before they meet the code page,
// and the message rule: how a message's text becomes the bytes that are sealed, and back.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/Failure.h"
#include "base/Types.h"

namespace tavorin {

// Text as the engines take it, or the character that keeps it out.
struct GatedText {
    std::u16string text;              // normalisation form C; empty when refused
    std::optional<char32_t> refused;  // the first character (a whole code point) Windows-1252 cannot hold
};

// Brings text to normalisation form C, so that a letter typed as letter + combining mark counts as
// the precomposed letter, and checks that every character then has its Windows-1252 byte. A
// refused text leaves no copy behind (it may be a key). Keys and messages alike go through here,
// once per operation: the engines' own normalisation of text that passed costs no second run.
GatedText PassTextGate(std::u16string_view text);

// Editors on Windows begin UTF-8 files with a byte-order mark: at the very start of a key
// file's line or of a message it is dropped (anywhere else it is a character like another).
// The number of leading bytes of text that are such a mark: 3 or 0.
constexpr std::size_t LeadingByteOrderMark(std::string_view text) noexcept {
    return text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
}

// How a message's characters become bytes: Windows-1252 (what every Tavorin opens) or UTF-8
// (any language). The envelope is the same either way; keys are always Windows-1252.
enum class MessageEncoding { Windows1252, Utf8 };

// A text refused for one character or one malformed sequence, with the character
// (NotInCodePage) or the byte offset (NotUtf8), for front ends that word their own refusal.
class TextFailure : public Failure {
public:
    TextFailure(FailureKind kind, std::string description, char32_t character, std::size_t offset)
        : Failure(kind, std::move(description)), character_(character), offset_(offset) {}
    char32_t Character() const noexcept { return character_; }
    std::size_t Offset() const noexcept { return offset_; }

private:
    char32_t character_;
    std::size_t offset_;
};

// The message rule: a message's text as the bytes that are sealed. Windows-1252 passes the
// gate above (letter + combining mark counts as the precomposed letter) and takes each
// character's byte; a character it still cannot hold is refused, TextFailure NotInCodePage
// naming it. UTF-8 takes the text as it is. The bytes have room for `room` more, so that
// frames grow in place. A refusal leaves no copy of the message behind.
ByteArray EncodeMessage(std::u16string_view text, MessageEncoding encoding, std::size_t room = 0);
// The same for a message held as UTF-8, in place (never longer; the capacity stays): also
// TextFailure NotUtf8 for bytes that are no UTF-8. A refused message is wiped.
void EncodeMessage(ByteArray& utf8, MessageEncoding encoding);

// The reverse, for an opened message: its bytes as text. UTF-8 that is not well-formed is
// refused, TextFailure NotUtf8 (the message was sealed as Windows-1252, most likely).
std::u16string DecodeMessage(const ByteArray& bytes, MessageEncoding encoding);
// The same as UTF-8, handed to sink in pieces whose buffer is wiped after; nothing reaches
// sink when the message is refused.
using TextSink = std::function<void(const char* data, std::size_t size)>;
void DecodeMessage(const std::uint8_t* data, std::size_t size, MessageEncoding encoding, const TextSink& sink);
// The length of that UTF-8 (a refused message's included).
std::size_t DecodedLength(const std::uint8_t* data, std::size_t size, MessageEncoding encoding) noexcept;

}  // namespace tavorin
