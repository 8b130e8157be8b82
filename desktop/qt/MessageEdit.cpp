#include "desktop/qt/MessageEdit.h"

#include <QAbstractTextDocumentLayout>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>

#include <algorithm>
#include <utility>

#include "desktop/qt/MessageText.h"
#include "desktop/qt/Text.h"

namespace tavorin {

MessageEdit::MessageEdit(std::u16string& text, QWidget* parent) : QPlainTextEdit(parent), text_(text) {
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // A steady width keeps the long-line blocks in step with the wrapping.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTabChangesFocus(true);
    connect(document(), &QTextDocument::contentsChange, this, &MessageEdit::OnContentsChange);
}

qsizetype MessageEdit::CharsPerLine() const {
    const QFontMetricsF metrics(font());
    const qreal advance = metrics.horizontalAdvance(QLatin1Char('0'));
    const qreal width = viewport()->width() - 2 * document()->documentMargin();
    if (advance <= 0 || width <= advance) {
        return 1;
    }
    return static_cast<qsizetype>(width / advance);
}

void MessageEdit::SetDocument(const QString& shown) {
    writing_ = true;
    setPlainText(shown);
    writing_ = false;
}

void MessageEdit::Render() {
    dropped_ = false;
    hasLongLine_ = HasLineLongerThan(text_, LongLine);
    estimate_ = CharsPerLine();
    charsPerLine_ = estimate_;
    measured_ = isVisible();
    shown_ = ShownText(text_, charsPerLine_, LinesPerBlock, LongLine);
    SetDocument(shown_);
    if (!hasLongLine_ || !isVisible()) {
        return;
    }
    // The font may wrap a little differently from the estimate: measure the first block
    // that was split and, when it disagrees, split again with the measured width.
    qsizetype firstBreak = -1;
    for (std::size_t i = 0; i < text_.size(); ++i) {
        // Read only: shown_ shares its characters with the document, a write would copy them.
        if (std::as_const(shown_)[static_cast<qsizetype>(i)] == QChar::ParagraphSeparator && text_[i] != u'\n') {
            firstBreak = static_cast<qsizetype>(i);
            break;
        }
    }
    const qsizetype measured = CheckedCharsPerLine(charsPerLine_, firstBreak);
    if (measured != charsPerLine_) {
        charsPerLine_ = measured;
        shown_ = ShownText(text_, charsPerLine_, LinesPerBlock, LongLine);
        SetDocument(shown_);
    }
}

qsizetype MessageEdit::CheckedCharsPerLine(qsizetype guess, qsizetype firstBreak) {
    if (firstBreak < 0) {
        return guess;
    }
    const QTextBlock block = document()->findBlock(static_cast<int>(firstBreak));
    document()->documentLayout()->blockBoundingRect(block);  // lays the block out
    const QTextLayout* layout = block.layout();
    if (layout == nullptr || layout->lineCount() == LinesPerBlock || layout->lineCount() < 2) {
        return guess;
    }
    // The first line holds what fits plus its hanging space.
    const qsizetype fits = layout->lineAt(0).textLength() - 1;
    return fits > 0 ? fits : guess;
}

void MessageEdit::OnContentsChange(int position, int removed, int added) {
    // While the view shows the text, the document is empty and holds none of it.
    if (writing_ || dropped_) {
        return;
    }
    const qsizetype length = document()->characterCount() - 1;
    // The document may report its closing paragraph mark too.
    const qsizetype pos = std::clamp<qsizetype>(position, 0, shown_.size());
    const qsizetype gone = std::min<qsizetype>(removed, shown_.size() - pos);
    const qsizetype come = std::min<qsizetype>(added, length - pos);
    if (come < 0 || shown_.size() - gone + come != length) {
        Resync();
        emit Edited();
        return;
    }
    QString now;
    if (come > 0) {
        QTextCursor cursor(document());
        cursor.setPosition(static_cast<int>(pos));
        cursor.setPosition(static_cast<int>(pos + come), QTextCursor::KeepAnchor);
        now = cursor.selectedText();
    }
    // Only what really changed is taken from the document; the rest stays exactly as it was.
    const QStringView before = QStringView(shown_).mid(pos, gone);
    qsizetype same = 0;
    while (same < before.size() && same < now.size() && before[same] == now[same]) {
        ++same;
    }
    qsizetype tail = 0;
    while (tail < before.size() - same && tail < now.size() - same &&
           before[before.size() - 1 - tail] == now[now.size() - 1 - tail]) {
        ++tail;
    }
    const QStringView changed = QStringView(now).mid(same, now.size() - same - tail);
    const auto at = static_cast<std::size_t>(pos + same);
    const auto count = static_cast<std::size_t>(gone - same - tail);
    text_.replace(at, count, FromShown(changed));
    shown_.replace(pos + same, gone - same - tail, changed.data(), changed.size());
    emit Edited();
}

void MessageEdit::Resync() {
    QTextCursor cursor(document());
    cursor.select(QTextCursor::Document);
    shown_ = cursor.selectedText();
    text_ = FromShown(shown_);
}

QMimeData* MessageEdit::createMimeDataFromSelection() const {
    const QTextCursor cursor = textCursor();
    if (!cursor.hasSelection()) {
        return QPlainTextEdit::createMimeDataFromSelection();
    }
    const auto from = static_cast<std::size_t>(cursor.selectionStart());
    const auto to = static_cast<std::size_t>(cursor.selectionEnd());
    return CopiedText(std::u16string_view(text_).substr(from, to - from), secret_);
}

void MessageEdit::insertFromMimeData(const QMimeData* source) {
    if (source == nullptr || !source->hasText()) {
        // Nothing this area can hold. Not handed on: Qt 6.4 reads the first format of the
        // data without looking, and crashes on data that has none.
        return;
    }
    const std::u16string pasted = ToU16(source->text());
    QTextCursor cursor = textCursor();
    const auto from = static_cast<std::size_t>(cursor.selectionStart());
    const auto to = static_cast<std::size_t>(cursor.selectionEnd());
    if (pasted.size() > static_cast<std::size_t>(LongLine)) {
        // Shown again as a whole, so that a pasted envelope gets its blocks.
        text_.replace(from, to - from, pasted);
        emit Replaced(from + pasted.size());
        emit Edited();
        return;
    }
    const QString piece = ShownText(pasted);
    writing_ = true;
    cursor.insertText(piece);
    writing_ = false;
    setTextCursor(cursor);
    ensureCursorVisible();
    text_.replace(from, to - from, pasted);
    shown_.replace(static_cast<qsizetype>(from), static_cast<qsizetype>(to - from), piece);
    if (shown_.size() != document()->characterCount() - 1) {
        Resync();
    }
    emit Edited();
}

void MessageEdit::RenderIfStale() {
    if (hasLongLine_ && !held_ && (!measured_ || CharsPerLine() != estimate_)) {
        Render();
    }
}

void MessageEdit::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    RenderIfStale();
}

void MessageEdit::showEvent(QShowEvent* event) {
    QPlainTextEdit::showEvent(event);
    RenderIfStale();
}

void MessageEdit::Drop() {
    dropped_ = true;
    shown_ = QString();
    SetDocument(QString());
    hasLongLine_ = false;
}

// The first edit of a viewed text: the editor takes it at the same selection and top row.
void MessageEdit::Take(std::size_t anchor, std::size_t position, std::size_t top) {
    Render();
    QTextCursor cursor(document());
    cursor.setPosition(static_cast<int>(anchor));
    cursor.setPosition(static_cast<int>(position), QTextCursor::KeepAnchor);
    setTextCursor(cursor);
    const QTextBlock block = document()->findBlock(static_cast<int>(top));
    document()->documentLayout()->blockBoundingRect(block);
    int line = 0;
    if (block.layout() != nullptr) {
        const QTextLine topLine = block.layout()->lineForTextPosition(static_cast<int>(top) - block.position());
        line = topLine.isValid() ? topLine.lineNumber() : 0;
    }
    verticalScrollBar()->setValue(block.firstLineNumber() + line);
}

}  // namespace tavorin
