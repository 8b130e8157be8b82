#include "envelope/Find.h"

#include <algorithm>
#include <cstring>

#include "codecs/modHEX.h"
#include "engines/FrameFormat.h"
#include "envelope/Envelope.h"

namespace tavorin::envelope {

namespace {

constexpr std::uint8_t kNoDigit = 0xFF;

constexpr std::array<std::uint8_t, 256> kHexValue = [] {
    std::array<std::uint8_t, 256> t{};
    t.fill(kNoDigit);
    for (int c = 0; c < 10; ++c) {
        t['0' + c] = static_cast<std::uint8_t>(c);
    }
    for (int c = 0; c < 6; ++c) {
        t['A' + c] = t['a' + c] = static_cast<std::uint8_t>(10 + c);
    }
    return t;
}();

constexpr std::array<std::uint8_t, 3> kByteOrderMark = {0xEF, 0xBB, 0xBF};

bool DigestCharacter(std::uint8_t b) noexcept { return (b >= '0' && b <= '9') || (b >= 'a' && b <= 'f'); }

// The control characters that no pasted text holds (a file of zeros, a binary file).
bool NoText(std::uint8_t c) noexcept {
    return c < 0x20 && c != '\t' && c != '\n' && c != '\v' && c != '\f' && c != '\r' && c != 0x1B;
}

bool Blank(std::uint8_t c) noexcept { return c == ' ' || c == '\t'; }

}  // namespace

void EnvelopeFinder::Expect(std::uint64_t textSize) { expected_ = textSize; }

bool EnvelopeFinder::Feed(const char* data, std::size_t size) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(data);
    std::size_t i = 0;
    while (i < size && !refused_ && !TooMuchText()) {
        const std::uint8_t c = p[i];
        if (afterCr_) {
            afterCr_ = false;
            if (c == '\n') {  // the LF of a CR LF
                ++i, ++seen_;
                continue;
            }
        }
        if (NoText(c)) {
            refused_ = true;
            break;
        }
        if (c == '\n' || c == '\r') {
            EndLine();
            afterCr_ = c == '\r';
            ++i, ++seen_;
            continue;
        }
        if (line_ == Line::Text) {
            ++gap_;
            ++i, ++seen_;
            continue;
        }
        if (line_ == Line::Prefix) {
            if (c == '>' || Blank(c) || (seen_ < kByteOrderMark.size() && c == kByteOrderMark[seen_])) {
                Count(1);
                ++i, ++seen_;
                continue;
            }
            line_ = Line::Content;
        }
        // Content. Most of an envelope is "XX" after a single space: taken here in one go.
        if (digits_ == 2 && separators_ == 0 && storing_ && !afterC2_ && pending_.empty()) {
            const std::size_t from = i;
            for (constexpr std::size_t kStep = 4096; size - i >= 3;) {
                const std::size_t old = run_.size();
                run_.resize(old + std::min(kStep, (size - i) / 3));
                const std::size_t n = modHEX::ReadSpaceLedPairs(data + i, size - i, kStep, run_.data() + old);
                run_.resize(old + n);
                i += 3 * n;
                if (n < kStep) {
                    break;
                }
            }
            if (i != from) {
                tokens_ += (i - from) / 3;
                lineBytes_ += i - from;
                seen_ += i - from;
                continue;
            }
        }
        ++i, ++seen_;
        Count(1);
        if (afterC2_) {
            afterC2_ = false;
            if (c == 0xA0) {
                Separator(true);  // a no-break space, as some mail programs write it
            } else {
                LineIsText();
            }
        } else if (kHexValue[c] != kNoDigit) {
            Digit(kHexValue[c]);
        } else if (c == 0xC2) {
            afterC2_ = true;
        } else {
            Separator(Blank(c));
        }
    }
    Follow();
    return !refused_ && !TooMuchText();
}

void EnvelopeFinder::Follow() {
    if (assume_ || confirmed_.empty()) {
        return;
    }
    if (followed_ == kNone || std::find(confirmed_.begin(), confirmed_.end(), followed_) == confirmed_.end()) {
        followed_ = confirmed_.front();
        digester_ = CiphertextDigester();
        hashed_ = followed_ + DigestLength;
    }
    if (run_.size() > hashed_) {
        digester_.Update(run_.data() + hashed_, run_.size() - hashed_);
        hashed_ = run_.size();
    }
}

std::array<char, DigestLength> EnvelopeFinder::DigestOf(std::size_t from, std::size_t to) {
    if (assume_) {
        ++assumed_;
        std::copy_n(run_.begin() + static_cast<std::ptrdiff_t>(from), DigestLength, assumedDigest_.begin());
        return assumedDigest_;
    }
    if (from != followed_ || to < hashed_) {
        return CiphertextDigest(run_.data() + from + DigestLength, to - from - DigestLength);
    }
    CiphertextDigester rest = digester_;
    rest.Update(run_.data() + hashed_, to - hashed_);
    return rest.Final();
}

void EnvelopeFinder::Count(std::size_t bytes) {
    if (line_ == Line::Text || !storing_) {
        gap_ += bytes;
    } else {
        lineBytes_ += bytes;
    }
}

void EnvelopeFinder::Digit(std::uint8_t value) {
    if (digits_ == 2 || (digits_ == 0 && separators_ > 1 && !blanksOnly_)) {
        LineIsText();  // pairs run together, or more than one character between them that are not all blanks
        return;
    }
    if (digits_ == 1) {
        Push(static_cast<std::uint8_t>(high_ << 4 | value));
        digits_ = 2;
        return;
    }
    separators_ = 0;
    blanksOnly_ = true;
    if (++tokens_ == 1 && runHalf_) {  // the second half of a pair that a line break split
        runHalf_ = false;
        Push(static_cast<std::uint8_t>(runHigh_ << 4 | value));
        digits_ = 2;
        return;
    }
    high_ = value;
    digits_ = 1;
}

void EnvelopeFinder::Separator(bool blank) {
    if (digits_ == 1 || tokens_ == 0) {
        LineIsText();  // half a pair inside a line, or a line that begins with no digit
        return;
    }
    digits_ = 0;
    ++separators_;
    blanksOnly_ = blanksOnly_ && blank;
}

void EnvelopeFinder::Push(std::uint8_t byte) {
    if (!storing_) {
        return;
    }
    if (run_.capacity() == 0 && expected_ > 0) {
        // Three characters for every byte but the last; no envelope holds more than the largest frame.
        run_.reserve(
            static_cast<std::size_t>(std::min<std::uint64_t>(expected_ / 3 + 1, frame::MaxFrame + DigestLength)));
    }
    run_.push_back(byte);
    if (pending_.empty()) {
        return;
    }
    const std::size_t at = run_.size() - 1;
    std::erase_if(pending_, [&](std::size_t start) {
        if (!DigestCharacter(byte)) {
            return true;
        }
        if (at - start == DigestLength - 1) {
            Confirm(start);
            return true;
        }
        return false;
    });
    if (pending_.empty() && confirmed_.empty()) {
        // No start of this run can begin an envelope: the rest of its line is text, and the
        // next line begins a new run.
        storing_ = false;
        gap_ += runTextBytes_ + lineBytes_;
        runTextBytes_ = 0;
        lineBytes_ = 0;
    }
}

void EnvelopeFinder::Confirm(std::size_t start) {
    // A new digest ends any envelope that began before it: try those on the ends so far.
    TryStarts(start, false);
    constexpr std::size_t kMostStarts = 8;  // lines of digest characters are no envelope
    if (confirmed_.size() == kMostStarts) {
        confirmed_.erase(confirmed_.begin());
    }
    confirmed_.push_back(start);
}

bool EnvelopeFinder::TryStarts(std::size_t upTo, bool last) {
    bool anyTried = false;
    std::erase_if(confirmed_, [&](std::size_t from) {
        bool tried = false;
        // upTo first, then the last line ends before it.
        for (std::size_t j = 0; j <= std::min(endCount_, kEnds); ++j) {
            const std::size_t to = j == 0 ? upTo : ends_[(endCount_ - j) % kEnds];
            if ((j > 0 && to >= upTo) || to < from + DigestLength) {
                continue;
            }
            tried = true;
            anyTried = true;
            const auto digest = DigestOf(from, to);
            if (!std::equal(digest.begin(), digest.end(), run_.begin() + static_cast<std::ptrdiff_t>(from),
                            [](char d, std::uint8_t b) { return static_cast<std::uint8_t>(d) == b; })) {
                continue;
            }
            if (++matches_ == 1) {
                foundFrom_ = from + DigestLength;
                foundTo_ = to;
                if (!last) {
                    TakeFound();
                }
            }
            return true;
        }
        envelopeLike_ += tried && last ? 1 : 0;
        return last;
    });
    return anyTried;
}

void EnvelopeFinder::LineIsText() {
    run_.resize(std::min(run_.size(), lineStart_));

    runHalf_ = lineStartHalf_;
    runHigh_ = lineStartHigh_;
    const std::size_t bytes = storing_ ? lineBytes_ : 0;
    EndRun();
    line_ = Line::Text;
    gap_ += bytes;
}

void EnvelopeFinder::EndPairOrTextLine() {
    const bool pairLine = line_ == Line::Content && tokens_ > 0 && !afterC2_ && (separators_ == 0 || blanksOnly_);
    if (line_ != Line::Text && !pairLine) {
        LineIsText();
    }
    if (line_ == Line::Text) {
        ++gap_;
    } else {
        if (digits_ == 1) {  // ends inside a pair: the next line begins with its other half
            runHalf_ = true;
            runHigh_ = high_;
        }
        if (!storing_) {
            gap_ += 1;
            EndRun();
        } else {
            runTextBytes_ += lineBytes_ + 1;
            if (!runHalf_) {
                ends_[endCount_++ % kEnds] = run_.size();
                pending_.push_back(run_.size());
            }
        }
    }
}

void EnvelopeFinder::EndLine() {
    if (line_ == Line::Prefix && storing_ && !run_.empty()) {
        // A blank line between pair lines, as people and mail programs leave them: the run
        // goes on, and the line end before it stays the run's last end.
        runTextBytes_ += lineBytes_ + 1;
    } else {
        EndPairOrTextLine();
    }
    line_ = Line::Prefix;
    lineBytes_ = 0;
    digits_ = 0;
    separators_ = 0;
    blanksOnly_ = true;
    afterC2_ = false;
    tokens_ = 0;
    lineStart_ = run_.size();
    lineStartHalf_ = runHalf_;
    lineStartHigh_ = runHigh_;
}

void EnvelopeFinder::TakeFound() {
    if (foundTo_ == run_.size()) {
        // Most often the run is the envelope: its buffer becomes the result.
        found_ = std::move(run_);
        found_.erase(found_.begin(), found_.begin() + static_cast<std::ptrdiff_t>(foundFrom_));
        run_ = ByteArray();
    } else {
        found_.assign(run_.begin() + static_cast<std::ptrdiff_t>(foundFrom_),
                      run_.begin() + static_cast<std::ptrdiff_t>(foundTo_));
    }
    foundTo_ = 0;
}

void EnvelopeFinder::EndRun() {
    if (storing_) {
        if (TryStarts(run_.size(), true)) {
            gap_ = 0;  // text is counted from the last envelope on
        } else {
            gap_ += runTextBytes_;
        }
        if (foundTo_ != 0) {
            TakeFound();
        }
    }
    run_.clear();
    followed_ = kNone;
    runTextBytes_ = 0;
    runHalf_ = false;
    storing_ = true;
    pending_.assign(1, 0);
    confirmed_.clear();
    endCount_ = 0;
    lineStart_ = 0;
    lineStartHalf_ = false;
}

FoundEnvelope EnvelopeFinder::Finish() {
    if (!refused_) {
        if (line_ != Line::Prefix || lineBytes_ > 0) {
            EndLine();
        }
        EndRun();
    }
    FoundEnvelope result;
    if (refused_) {
        result.status = FindStatus::NotAnEnvelope;
    } else if (matches_ == 1) {
        result.status = FindStatus::Found;
        result.ciphertext = std::move(found_);
    } else if (matches_ > 1) {
        result.status = FindStatus::SeveralEnvelopes;
    } else if (envelopeLike_ == 1) {
        result.status = FindStatus::Damaged;
    }
    return result;
}

FoundEnvelope FindEnvelope(std::string_view text) {
    EnvelopeFinder finder;
    finder.Expect(text.size());
    finder.Feed(text.data(), text.size());
    return finder.Finish();
}

std::size_t UnwrapText(char* text, std::size_t size) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    const auto lineBreak = [](char c) { return c == '\r' || c == '\n'; };
    const auto space = [&](char c) { return blank(c) || lineBreak(c); };

    std::size_t begin = 0;
    std::size_t end = size;
    while (begin < end && space(text[begin])) {
        ++begin;
    }
    while (end > begin && space(text[end - 1])) {
        --end;
    }
    // Line by line: the text between line breaks is moved as a whole; only the white space
    // around each break is judged.
    std::size_t out = 0;
    std::size_t digits = 0;  // characters since the last separator written
    const auto move = [&](std::size_t from, std::size_t to) {
        if (out != from && to > from) {
            std::memmove(text + out, text + from, to - from);
        }
        out += to - from;
    };
    std::size_t lf = begin;  // the next LF at or after i, or end; kept, so that lines ended
                             // by CR alone do not search the rest of the text each time
    bool lfKnown = false;
    for (std::size_t i = begin; i < end;) {
        // text[i] is never white space here.
        if (!lfKnown || lf < i) {
            const void* found = std::memchr(text + i, '\n', end - i);
            lf = found ? static_cast<std::size_t>(static_cast<const char*>(found) - text) : end;
            lfKnown = true;
        }
        std::size_t brk = lf;
        if (const void* cr = std::memchr(text + i, '\r', brk - i)) {
            brk = static_cast<std::size_t>(static_cast<const char*>(cr) - text);
        }
        if (brk == end) {
            move(i, end);  // runs without a line break are left for the pair rule
            break;
        }
        std::size_t runStart = brk;
        while (runStart > i && blank(text[runStart - 1])) {
            --runStart;
        }
        std::size_t k = runStart;
        while (k > i && !space(text[k - 1])) {
            --k;
        }
        digits = k > i ? runStart - k : digits + (runStart - i);
        move(i, runStart);  // after the count: the move may overwrite what was counted

        std::size_t j = runStart;
        bool hasBlank = false;
        while (j < end && space(text[j])) {
            hasBlank = hasBlank || blank(text[j]);
            ++j;
        }
        if (hasBlank || digits % 2 == 0) {
            text[out++] = ' ';
            digits = 0;
        }
        // else: a bare line break inside a pair, as a hard wrap leaves it; drop it.
        i = j;
    }
    return out;
}

}  // namespace tavorin::envelope
