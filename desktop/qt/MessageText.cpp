#include "desktop/qt/MessageText.h"

#include <QMimeData>

#include <algorithm>

#include "base/Memory.h"
#include "desktop/qt/Text.h"

namespace tavorin {

namespace {

constexpr char16_t CrBeforeLf = 0x2060;  // word joiner: takes a position, shows nothing
constexpr char16_t ControlPictures = 0x2400;
constexpr char16_t DeletePicture = 0x2421;

}  // namespace

char16_t ShownChar(std::u16string_view text, std::size_t i) {
    const char16_t c = text[i];
    if (c == u'\n') {
        return QChar::ParagraphSeparator;
    }
    if (c == u'\r') {
        return (i + 1 < text.size() && text[i + 1] == u'\n') ? CrBeforeLf : static_cast<char16_t>(ControlPictures + c);
    }
    if (c == u'\t') {
        return c;
    }
    if (c < 0x20) {
        return static_cast<char16_t>(ControlPictures + c);
    }
    if (c == 0x7F) {
        return DeletePicture;
    }
    // The document keeps these for objects and frames of its own.
    if (c == 0xFFFC || c == 0xFDD0 || c == 0xFDD1) {
        return QChar::ReplacementCharacter;
    }
    return c;
}

namespace {

// Ends every linesPerBlock-th wrapped line of text[from, to) at its space with a block break.
void BreakLongLine(std::u16string_view text, QChar* out, std::size_t from, std::size_t to, std::size_t charsPerLine,
                   int linesPerBlock) {
    std::size_t start = from;
    int lines = 0;
    while (to - start > charsPerLine) {
        // The line takes the most characters that fit before a space; the space hangs.
        std::size_t space = start + charsPerLine;
        while (space > start && text[space] != u' ') {
            --space;
        }
        const bool atSpace = space > start;
        ++lines;
        if (atSpace && lines >= linesPerBlock) {
            out[space] = QChar::ParagraphSeparator;
            lines = 0;
        }
        start = atSpace ? space + 1 : start + charsPerLine;
    }
}

}  // namespace

QString ShownText(std::u16string_view text, qsizetype charsPerLine, int linesPerBlock, qsizetype longLine) {
    QString shown(static_cast<qsizetype>(text.size()), Qt::Uninitialized);
    QChar* out = shown.data();
    // An envelope's text is tens of megabytes: large pages spare the most page faults.
    AdviseLargePages(out, text.size() * sizeof(QChar));
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        // Printable ASCII, nearly all of an envelope, shows as itself.
        out[i] = QChar(c >= 0x20 && c < 0x7F ? c : ShownChar(text, i));
    }
    if (charsPerLine <= 0 || linesPerBlock <= 0 || longLine <= 0) {
        return shown;
    }
    // Short lines share blocks too, about linesPerBlock wrapped lines each: a block for every
    // line of a long message costs the document more than the text itself.
    const auto perLine = static_cast<std::size_t>(charsPerLine);
    std::size_t start = 0;
    std::size_t blockLines = 0;
    while (start < text.size()) {
        std::size_t end = text.find(u'\n', start);
        if (end == std::u16string_view::npos) {
            end = text.size();
        }
        if (end - start > static_cast<std::size_t>(longLine)) {
            BreakLongLine(text, out, start, end, perLine, linesPerBlock);
            blockLines = static_cast<std::size_t>(linesPerBlock);  // its block ends with it
        } else {
            blockLines += std::max<std::size_t>(1, (end - start + perLine - 1) / perLine);
        }
        if (end < text.size()) {
            if (blockLines < static_cast<std::size_t>(linesPerBlock)) {
                out[end] = QChar::LineSeparator;
            } else {
                blockLines = 0;
            }
        }
        start = end + 1;
    }
    return shown;
}

std::u16string FromShown(QStringView shown) {
    std::u16string text(static_cast<std::size_t>(shown.size()), u'\0');
    for (qsizetype i = 0; i < shown.size(); ++i) {
        char16_t c = shown[i].unicode();
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator) {
            c = u'\n';
        } else if (c == CrBeforeLf) {
            c = u'\r';
        } else if (c >= ControlPictures && c < ControlPictures + 0x20) {
            c = static_cast<char16_t>(c - ControlPictures);
        } else if (c == DeletePicture) {
            c = 0x7F;
        }
        text[static_cast<std::size_t>(i)] = c;
    }
    return text;
}

bool HasLineLongerThan(std::u16string_view text, std::size_t limit) {
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(u'\n', start);
        if (end == std::u16string_view::npos) {
            end = text.size();
        }
        if (end - start > limit) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

QMimeData* CopiedText(std::u16string_view text, bool secret) {
    auto* copied = new QMimeData;
    copied->setText(ToQString(text));
    if (secret) {
        copied->setData(QString::fromLatin1(PasswordManagerHint), QByteArrayLiteral("secret"));
    }
    return copied;
}

}  // namespace tavorin
