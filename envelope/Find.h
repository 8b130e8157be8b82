#pragma once
// Finding an envelope where people paste it: inside a mail with a greeting above, quoted with
// "> ", folded by the mail program, in lower case, after a byte-order mark, with a signature
// below. The text is read line by line as it arrives, so that input which cannot hold an
// envelope is refused after a few kilobytes instead of being read whole.
//
// A pair line is a line made only of hexadecimal pairs (either case), separated by blanks
// (spaces as written, doubled ones, tabs, no-break spaces) or by any other single character
// that is no digit, after any quote marks and blanks in front; blanks at its end are ignored.
// Blank lines between pair lines are passed over. Where a hard wrap split a pair, the half at
// the end of one line joins the half at the start of the next. A run of pair lines holds an envelope when the 64 bytes at the
// start of one of its first lines are a digest in lower-case hexadecimal characters and match
// the digest of the bytes after them up to the end of one of its last lines: so a date like
// "12 05 23" above or below the envelope, in its own line, does not spoil it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/Types.h"
#include "envelope/Envelope.h"

namespace tavorin::envelope {

// The most text that may stand before the first envelope-like run of pairs, and between or
// after such runs; past it the reading stops.
inline constexpr std::size_t MaxTextAround = std::size_t{64} << 10;

enum class FindStatus {
    Found,             // exactly one run's digest matches
    NotAnEnvelope,     // no run holds an envelope, or the text holds no text at all
    SeveralEnvelopes,  // more than one run's digest matches
    Damaged,           // one run looks like an envelope (a digest in front) but does not match
};

struct FoundEnvelope {
    FindStatus status = FindStatus::NotAnEnvelope;
    ByteArray ciphertext;  // Found: the bytes after the digest
};

class EnvelopeFinder {
public:
    // A hint: the size of the whole text, when known, so that the pairs are decoded into one
    // buffer of the right size.
    void Expect(std::uint64_t textSize);

    // The next piece of the text. Returns false once nothing after it can change the result
    // (then the caller stops reading): a character that no text holds (NUL and the like), or
    // more than MaxTextAround bytes of text where an envelope would have to stand.
    bool Feed(const char* data, std::size_t size);

    // The result, once the text has ended or Feed returned false.
    FoundEnvelope Finish();

    // For a caller that takes digests faster itself (the page, with the browser's SHA-256):
    // set before the first Feed, every digest the finder would take and compare is assumed to
    // match instead, and kept. When none was assumed, the result stands as it is; when one was
    // and the text was Found, it stands once AssumedDigest is the ciphertext's digest; in any
    // other case the caller finds again without assuming.
    void AssumeDigests() noexcept { assume_ = true; }
    std::size_t Assumed() const noexcept { return assumed_; }
    const std::array<char, DigestLength>& AssumedDigest() const noexcept { return assumedDigest_; }

private:
    static constexpr std::size_t kEnds = 4;  // the last line ends of a run, tried as its end

    void Count(std::size_t bytes);
    void Digit(std::uint8_t value);
    void Separator(bool blank);
    void EndLine();
    void EndPairOrTextLine();
    void LineIsText();
    void Push(std::uint8_t byte);
    void Confirm(std::size_t start);
    // Tries the confirmed starts against upTo and the line ends before it; `last`: the run
    // ends at upTo.
    // Returns whether any start was tried.
    bool TryStarts(std::size_t upTo, bool last);
    void EndRun();
    // The match [foundFrom_, foundTo_) of the run into found_.
    void TakeFound();
    // Digests the new bytes after the first confirmed start while they are still in cache.
    void Follow();
    // The digest of the bytes after the digest at from, up to to.
    std::array<char, DigestLength> DigestOf(std::size_t from, std::size_t to);
    bool TooMuchText() const noexcept { return gap_ > MaxTextAround; }

    enum class Line { Prefix, Content, Text };

    // The input.
    std::uint64_t seen_ = 0;  // bytes taken so far
    std::uint64_t expected_ = 0;
    bool refused_ = false;
    bool afterCr_ = false;  // an LF right after it ends no second line
    std::size_t gap_ = 0;   // text since the start or since the last envelope-like run
    std::size_t matches_ = 0;
    std::size_t envelopeLike_ = 0;  // starts of a digest tried against an end and not matched
    ByteArray found_;
    std::size_t foundFrom_ = 0;
    std::size_t foundTo_ = 0;  // 0: nothing waits to be taken
    bool assume_ = false;
    std::size_t assumed_ = 0;
    std::array<char, DigestLength> assumedDigest_{};

    // The line being read.
    Line line_ = Line::Prefix;
    std::size_t lineBytes_ = 0;
    int digits_ = 0;  // of the current token: 0 (none yet), 1 (a half, in high_) or 2
    std::uint8_t high_ = 0;
    int separators_ = 0;  // since the last token
    bool blanksOnly_ = true;
    bool afterC2_ = false;  // the first byte of what may be a no-break space
    std::size_t tokens_ = 0;
    std::size_t lineStart_ = 0;  // the run's size when the line began
    bool lineStartHalf_ = false;
    std::uint8_t lineStartHigh_ = 0;

    // The run of pair lines the line belongs to.
    ByteArray run_;
    std::size_t runTextBytes_ = 0;  // the text its lines took
    bool runHalf_ = false;          // its last line ended inside a pair: high nibble in runHigh_
    std::uint8_t runHigh_ = 0;
    bool storing_ = true;  // false once no start of the run can begin an envelope
    // Where an envelope may begin: the run's start and each line end. A start is dropped when
    // one of the 64 bytes after it is no lower-case hexadecimal character, and confirmed
    // (a digest stands there) when all 64 are.
    std::vector<std::size_t> pending_{0};
    std::vector<std::size_t> confirmed_;
    std::array<std::size_t, kEnds> ends_{};  // the last clean line ends, a ring
    std::size_t endCount_ = 0;

    // The digest of the bytes after one confirmed start, up to hashed_.
    static constexpr std::size_t kNone = SIZE_MAX;
    std::size_t followed_ = kNone;
    std::size_t hashed_ = 0;
    CiphertextDigester digester_;
};

// The whole text at once.
FoundEnvelope FindEnvelope(std::string_view text);

// What mail programs do to an envelope, undone in place: white space around it is removed,
// and a run of white space that holds a line break (LF or CRLF, with or without blanks
// beside it) becomes the single space between two pairs, or nothing where it splits a pair.
// Runs without a line break are left for the pair rule to judge.
// Returns the new length.
std::size_t UnwrapText(char* text, std::size_t size);
inline void UnwrapText(std::string& text) { text.resize(UnwrapText(text.data(), text.size())); }

}  // namespace tavorin::envelope
