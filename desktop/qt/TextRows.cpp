#include "desktop/qt/TextRows.h"

#include <QString>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "desktop/TextScan.h"

namespace tavorin {

namespace {

// Letters and digits: between these no line may break.
bool AlphaNumeric(char16_t c) {
    const auto letter = static_cast<char16_t>(c | 0x20);
    return (letter >= u'a' && letter <= u'z') || (c >= u'0' && c <= u'9');
}

// Whether a line may break at a place in a word, as the editor's text layout decides it.
// Between punctuation and digits the rules look along the word (a number keeps its
// separators and signs), so each word met is asked of Qt once and remembered.
class BreakRules {
public:
    bool Before(std::u16string_view word, std::size_t at) {
        if (known_.size() > 100000) {
            known_.clear();
        }
        std::u16string key(word);
        key += static_cast<char16_t>(at);
        const auto [found, added] = known_.try_emplace(std::move(key), false);
        if (added) {
            // After a word and a space, as inside a line.
            QString probe = QStringLiteral("a ");
            probe.append(reinterpret_cast<const QChar*>(word.data()), static_cast<qsizetype>(word.size()));
            QTextBoundaryFinder finder(QTextBoundaryFinder::Line, probe);
            finder.setPosition(static_cast<qsizetype>(at) + 2);
            found->second = finder.isAtBoundary() && (finder.boundaryReasons() & QTextBoundaryFinder::BreakOpportunity);
        }
        return found->second;
    }

private:
    std::unordered_map<std::u16string, bool> known_;
};

BreakRules& Rules() {
    static BreakRules rules;
    return rules;
}

// Wraps one line, [from, to) without its line end, into rows that fit: their characters
// up to the last one that is not a hanging space fit the width.
class LineWrapper {
public:
    // `to` is the line's end, or (not ended) as far as the line is known to go on.
    LineWrapper(std::u16string_view text, std::size_t from, std::size_t to, const RowFits& fits, std::size_t most,
                bool ended = true)
        : text_(text), from_(from), to_(to), end_(to), fits_(fits), most_(most) {
        while (ended && end_ > from && text[end_ - 1] == u' ') {
            --end_;  // trailing spaces hang on the last row
        }
    }

    // The rows from the one that begins at start to the line's end.
    void AppendRows(std::vector<std::size_t>& rows, std::size_t start) const {
        // The line's end measures its last character, trailing spaces or not.
        while (end_ > start && !Fits(start, end_, false)) {
            start = Break(start);
            rows.push_back(start);
        }
    }

    // The rows of a line not yet ended whose breaks are found before limit; returns where the
    // next row begins.
    std::size_t AppendRowsBefore(std::vector<std::size_t>& rows, std::size_t start, std::size_t limit) const {
        while (start + most_ < limit) {
            std::size_t reach = start + most_;
            while (reach < limit && text_[reach] == u' ') {
                ++reach;
            }
            if (reach >= limit) {
                break;  // spaces go on past what is known
            }
            start = Break(start);
            rows.push_back(start);
        }
        return start;
    }

private:
    // Whether [start, end) fits a row. The layout measures the last character of each word
    // it adds to a row with what reaches past its advance, but takes the row's first word
    // whole: followed by spaces and a word that does not fit, it is not measured so.
    bool Fits(std::size_t start, std::size_t end, bool spaced) const {
        if (end - start <= fits_[text_[end - 1] - 0x20]) {
            return true;
        }
        if (!spaced || end - start > most_) {
            return false;
        }
        for (std::size_t i = start + 1; i < end; ++i) {
            if (text_[i] == u' ' || MayBreakBefore(i)) {
                return false;
            }
        }
        return true;
    }

    // Where the row that begins at start ends: at the last break opportunity that keeps it
    // within the width (spaces past the edge hang), or inside a word longer than a row.
    // The rest of the line does not fit, so the row ends before end_.
    std::size_t Break(std::size_t start) const {
        const std::size_t most = std::min(start + most_, end_ - 1);
        std::size_t reach = most;
        while (reach < end_ && text_[reach] == u' ') {
            ++reach;
        }
        for (std::size_t b = reach; b > start; --b) {
            if (text_[b] == u' ' || !MayBreakBefore(b)) {
                continue;
            }
            std::size_t content = b;
            while (content > start && text_[content - 1] == u' ') {
                --content;
            }
            if (content > start && Fits(start, content, content < b)) {
                return b;
            }
        }
        std::size_t end = most;
        while (end > start + 1 && !Fits(start, end, false)) {
            --end;
        }
        return end;
    }

    // The layout ends a row after any spaces; elsewhere where a line may break.
    bool MayBreakBefore(std::size_t b) const {
        const char16_t y = text_[b];
        const char16_t x = text_[b - 1];
        if (x == u' ') {
            return true;
        }
        if (AlphaNumeric(x) && AlphaNumeric(y)) {
            return false;
        }
        std::size_t word = b - 1;
        while (word > from_ && text_[word - 1] != u' ' && b - word < 32) {
            --word;
        }
        // A number after it may join it to what comes before.
        const std::size_t ahead = std::min(b + 3, to_);
        return Rules().Before(text_.substr(word, ahead - word), b - word);
    }

    std::u16string_view text_;
    std::size_t from_;
    std::size_t to_;
    std::size_t end_;
    const RowFits& fits_;
    std::size_t most_;
};

// Word separators of the editor's cursor moves; line feeds are blanks to them, as spaces.
bool Blank(char16_t c) { return c == u' ' || c == u'\n'; }

bool Separator(char16_t c) {
    return std::u16string_view(u".,?!@#$:;-<>[](){}=/+%&^*'\"`~|\\").find(c) != std::u16string_view::npos;
}

}  // namespace

std::optional<std::vector<std::size_t>> WrapRows(std::u16string_view text, const RowFits& fits) {
    // A long line is wrapped a slice at a time, right after its characters were checked and
    // while they are still in the cache.
    constexpr std::size_t Slice = std::size_t{1} << 14;
    const std::size_t most = std::max<std::size_t>(*std::max_element(fits.begin(), fits.end()), 1);
    const std::size_t least = *std::min_element(fits.begin(), fits.end());
    std::vector<std::size_t> rows;
    rows.reserve(text.size() / most + 1);
    std::size_t start = 0;
    for (;;) {
        rows.push_back(start);
        const std::size_t line = start;
        std::size_t special = line;
        for (;;) {
            const std::size_t sliceEnd = std::min(text.size(), special + Slice);
            const std::size_t checked = special;
            special = FindSpecial(text.substr(0, sliceEnd), checked);
            if (special < sliceEnd || sliceEnd == text.size()) {
                break;
            }
            start = LineWrapper(text, line, special, fits, most, false).AppendRowsBefore(rows, start, special - 4);
        }
        std::size_t next = special + 1;
        if (special < text.size()) {
            if (text[special] == u'\r' && special + 1 < text.size() && text[special + 1] == u'\n') {
                ++next;
            } else if (text[special] != u'\n') {
                return std::nullopt;
            }
        }
        if (start != line || special - line > least) {
            LineWrapper(text, line, special, fits, most).AppendRows(rows, start);
        }
        if (special >= text.size()) {
            return rows;
        }
        start = next;
    }
}

namespace {

// Past a run of separators, or of other characters that are no blanks.
std::size_t WordEnd(std::u16string_view text, std::size_t p, std::size_t to) {
    const bool separators = p < to && Separator(text[p]);
    while (p < to && !Blank(text[p]) && Separator(text[p]) == separators) {
        ++p;
    }
    return p;
}

}  // namespace

std::size_t NextWord(std::u16string_view text, std::size_t position, std::size_t to) {
    std::size_t p = WordEnd(text, position, to);
    while (p < to && Blank(text[p])) {
        ++p;
    }
    return p;
}

std::size_t PreviousWord(std::u16string_view text, std::size_t position, std::size_t from) {
    std::size_t p = position;
    while (p > from && Blank(text[p - 1])) {
        --p;
    }
    if (p > from && Separator(text[p - 1])) {
        while (p > from && Separator(text[p - 1])) {
            --p;
        }
    } else {
        while (p > from && !Blank(text[p - 1]) && !Separator(text[p - 1])) {
            --p;
        }
    }
    return p;
}

std::pair<std::size_t, std::size_t> WordAt(std::u16string_view text, std::size_t position, std::size_t from,
                                           std::size_t to) {
    std::size_t start = position;
    if (position == to && position > from && (Blank(text[position - 1]) || Separator(text[position - 1]))) {
        return {position, position};
    }
    if (position > from) {
        start = PreviousWord(text, position < to ? position + 1 : position, from);
    }
    const std::size_t end = WordEnd(text, start, to);
    return {start, end};
}

}  // namespace tavorin
