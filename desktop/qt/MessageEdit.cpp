#include "desktop/qt/MessageEdit.h"

#include <QAbstractTextDocumentLayout>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QFontDatabase>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>

#include <algorithm>
#include <utility>

#include "base/Types.h"
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

namespace {

// What assistive technology reads of the area: the text itself (not the characters shown for
// it), with the cursor and selection of the editor or of the view, whichever shows the text.
class MessageAccessible final : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit MessageAccessible(MessageEdit* edit) : QAccessibleWidget(edit, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::TextInterface ? static_cast<QAccessibleTextInterface*>(this)
                                                  : QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text kind) const override {
        return kind == QAccessible::Value ? ToQString(Edit().Text()) : QAccessibleWidget::text(kind);
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = Edit().isReadOnly();
        state.editable = !state.readOnly;
        state.multiLine = true;
        state.selectableText = true;
        return state;
    }

    void selection(int index, int* start, int* end) const override {
        const auto [from, to] = Edit().Selection();
        *start = index == 0 && from != to ? static_cast<int>(from) : 0;
        *end = index == 0 && from != to ? static_cast<int>(to) : 0;
    }
    int selectionCount() const override {
        const auto [from, to] = Edit().Selection();
        return from != to ? 1 : 0;
    }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return static_cast<int>(Edit().CursorPosition()); }
    void setCursorPosition(int) override {}
    QString text(int startOffset, int endOffset) const override {
        const std::u16string& all = Edit().Text();
        const auto from = std::min<std::size_t>(static_cast<std::size_t>(std::max(startOffset, 0)), all.size());
        const auto to = std::clamp<std::size_t>(static_cast<std::size_t>(std::max(endOffset, 0)), from, all.size());
        return ToQString(std::u16string_view(all).substr(from, to - from));
    }
    int characterCount() const override { return static_cast<int>(Edit().Text().size()); }
    QRect characterRect(int offset) const override {
        return Edit().CharacterRect(static_cast<std::size_t>(std::clamp(offset, 0, characterCount())));
    }
    int offsetAtPoint(const QPoint& point) const override { return static_cast<int>(Edit().OffsetAt(point)); }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override {
        *startOffset = offset;
        *endOffset = offset;
        return {};
    }

private:
    const MessageEdit& Edit() const { return *static_cast<const MessageEdit*>(widget()); }
};

QAccessibleInterface* MessageAccessibility(const QString&, QObject* object) {
    auto* edit = qobject_cast<MessageEdit*>(object);
    return edit != nullptr ? new MessageAccessible(edit) : nullptr;
}

}  // namespace

MessageEdit::MessageEdit(QWidget* parent) : QPlainTextEdit(parent) {
    static const bool accessible = [] {
        QAccessible::installFactory(MessageAccessibility);
        return true;
    }();
    (void)accessible;
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSize(9);
    setFont(mono);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // A steady width keeps the long-line blocks in step with the wrapping.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTabChangesFocus(true);
    connect(document(), &QTextDocument::contentsChange, this, &MessageEdit::OnContentsChange);
}

void MessageEdit::SetText(std::u16string_view text) {
    Holding();
    if (text.size() > text_.capacity()) {
        std::u16string room;
        room.reserve(text.size());
        // Mapped in one call rather than a fault a page.
        PrefaultPages(room.data(), text.size() * sizeof(char16_t));
        text_.swap(room);
    }
    text_.assign(text);
    Written();
}

void MessageEdit::SetText(std::u16string&& text) {
    Holding();
    text_ = std::move(text);
    Written();
}

std::u16string MessageEdit::TakeText() {
    Holding();
    std::u16string taken = std::move(text_);
    text_.clear();
    if (hold_) {
        pending_ = true;
    } else {
        Render();
    }
    return taken;
}

// The view paints from the text itself: a held write keeps a picture of what it showed,
// and the view takes no input until the write is shown.
void MessageEdit::Holding() {
    if (hold_ && !pending_ && view_.Active()) {
        view_.Hold();
    }
}

void MessageEdit::Written() {
    if (hold_) {
        pending_ = true;
    } else {
        Render();
    }
    emit TextChanged();
}

void MessageEdit::HoldDisplay(bool hold) {
    hold_ = hold;
    if (!hold_ && pending_) {
        Render();
    }
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

void MessageEdit::Render() {
    pending_ = false;
    if (text_.size() >= viewThreshold_ && view_.Show()) {
        return;
    }
    view_.Leave();
    RenderDocument();
}

void MessageEdit::RenderDocument() {
    hasLongLine_ = HasLineLongerThan(text_, LongLine);
    estimate_ = CharsPerLine();
    charsPerLine_ = estimate_;
    measured_ = isVisible();
    shown_ = ShownText(text_, charsPerLine_, LinesPerBlock, LongLine);
    writing_ = true;
    setPlainText(shown_);
    writing_ = false;
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
        writing_ = true;
        setPlainText(shown_);
        writing_ = false;
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
    if (writing_ || view_.Active()) {
        return;
    }
    const qsizetype length = document()->characterCount() - 1;
    // The document may report its closing paragraph mark too.
    const qsizetype pos = std::clamp<qsizetype>(position, 0, shown_.size());
    const qsizetype gone = std::min<qsizetype>(removed, shown_.size() - pos);
    const qsizetype come = std::min<qsizetype>(added, length - pos);
    if (come < 0 || shown_.size() - gone + come != length) {
        Resync();
        emit TextChanged();
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
    emit TextChanged();
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
    return Copied(static_cast<std::size_t>(cursor.selectionStart()), static_cast<std::size_t>(cursor.selectionEnd()));
}

QMimeData* MessageEdit::Copied(std::size_t from, std::size_t to) const {
    auto* copied = new QMimeData;
    copied->setText(ToQString(std::u16string_view(text_).substr(from, to - from)));
    if (secret_) {
        copied->setData(QString::fromLatin1(PasswordManagerHint), QByteArrayLiteral("secret"));
    }
    return copied;
}

void MessageEdit::insertFromMimeData(const QMimeData* source) {
    if (source == nullptr || !source->hasText()) {
        // Nothing this area can hold. Not handed on: Qt 6.4 reads the first format of the
        // data without looking, and crashes on data that has none.
        return;
    }
    HandOver();
    const std::u16string pasted = ToU16(source->text());
    QTextCursor cursor = textCursor();
    const auto from = static_cast<std::size_t>(cursor.selectionStart());
    const auto to = static_cast<std::size_t>(cursor.selectionEnd());
    if (pasted.size() > static_cast<std::size_t>(LongLine)) {
        // Shown again as a whole, so that a pasted envelope gets its blocks.
        text_.replace(from, to - from, pasted);
        Render();
        QTextCursor end = textCursor();
        end.setPosition(static_cast<int>(from + pasted.size()));
        setTextCursor(end);
        ensureCursorVisible();
        emit TextChanged();
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
    emit TextChanged();
}

void MessageEdit::RenderIfStale() {
    if (view_.Active()) {
        view_.Rewrap();
    } else if (hasLongLine_ && !hold_ && (!measured_ || CharsPerLine() != estimate_)) {
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

void MessageEdit::changeEvent(QEvent* event) {
    QPlainTextEdit::changeEvent(event);
    if (view_.Active()) {
        view_.Changed(*event);
    }
}

// The view paints what is in sight from the scroll bar alone.
void MessageEdit::scrollContentsBy(int dx, int dy) {
    if (view_.Active()) {
        viewport()->update();
    } else {
        QPlainTextEdit::scrollContentsBy(dx, dy);
    }
}

void MessageEdit::SetViewThreshold(std::size_t characters) { viewThreshold_ = characters; }

std::pair<std::size_t, std::size_t> MessageEdit::Selection() const {
    if (view_.Active()) {
        return view_.Selection();
    }
    const QTextCursor cursor = textCursor();
    return {static_cast<std::size_t>(cursor.selectionStart()), static_cast<std::size_t>(cursor.selectionEnd())};
}

std::size_t MessageEdit::CursorPosition() const {
    return view_.Active() ? view_.CursorPosition() : static_cast<std::size_t>(textCursor().position());
}

QRect MessageEdit::CharacterRect(std::size_t position) const {
    QRect rect;
    if (view_.Active()) {
        rect = view_.CharacterRect(position);
    } else {
        QTextCursor cursor(document());
        cursor.setPosition(static_cast<int>(position));
        rect = cursorRect(cursor);
        rect.setWidth(fontMetrics().horizontalAdvance(QLatin1Char('0')));
    }
    return QRect(viewport()->mapToGlobal(rect.topLeft()), rect.size());
}

std::size_t MessageEdit::OffsetAt(QPoint global) const {
    const QPoint point = viewport()->mapFromGlobal(global);
    return view_.Active() ? view_.OffsetAt(point) : static_cast<std::size_t>(cursorForPosition(point).position());
}

void MessageEdit::DropDocument() {
    shown_ = QString();
    writing_ = true;
    setPlainText(QString());
    writing_ = false;
    hasLongLine_ = false;
}

// The first edit of a viewed text: the editor takes it at the same selection and top row.
void MessageEdit::HandOver() {
    if (!view_.Active()) {
        return;
    }
    const MessageView::Place place = view_.Where();
    view_.Leave();
    RenderDocument();
    QTextCursor cursor(document());
    cursor.setPosition(static_cast<int>(place.anchor));
    cursor.setPosition(static_cast<int>(place.cursor), QTextCursor::KeepAnchor);
    setTextCursor(cursor);
    const QTextBlock block = document()->findBlock(static_cast<int>(place.top));
    document()->documentLayout()->blockBoundingRect(block);
    int line = 0;
    if (block.layout() != nullptr) {
        const QTextLine topLine = block.layout()->lineForTextPosition(static_cast<int>(place.top) - block.position());
        line = topLine.isValid() ? topLine.lineNumber() : 0;
    }
    verticalScrollBar()->setValue(block.firstLineNumber() + line);
}

}  // namespace tavorin
