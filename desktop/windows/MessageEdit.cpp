#include "desktop/windows/MessageEdit.h"

#include <QAbstractTextDocumentLayout>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleHints>
#include <QStyleOption>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>

#include "base/Types.h"
#include "desktop/windows/Text.h"
#include "desktop/windows/TextRows.h"

namespace tavorin {

namespace {

constexpr char16_t CrBeforeLf = 0x2060;  // word joiner: takes a position, shows nothing
constexpr char16_t ControlPictures = 0x2400;
constexpr char16_t DeletePicture = 0x2421;

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
    if (hold_ && viewing_ && !pending_) {
        held_ = viewport()->grab();
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
    held_ = QPixmap();
    if (text_.size() >= viewThreshold_ && EnterView()) {
        return;
    }
    if (viewing_) {
        LeaveView();
    }
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
    if (writing_ || viewing_) {
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
    if (hasLongLine_ && !hold_ && (!measured_ || CharsPerLine() != estimate_)) {
        Render();
    }
}

void MessageEdit::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    if (!viewing_) {
        RenderIfStale();
    } else if (!pending_) {
        Rewrap();
    }
}

void MessageEdit::showEvent(QShowEvent* event) {
    QPlainTextEdit::showEvent(event);
    if (!viewing_) {
        RenderIfStale();
    } else if (!pending_) {
        Rewrap();
    }
}

// The view of a large text.

void MessageEdit::SetViewThreshold(std::size_t characters) { viewThreshold_ = characters; }

std::pair<std::size_t, std::size_t> MessageEdit::Selection() const {
    if (viewing_) {
        return {std::min(anchor_, cursor_), std::max(anchor_, cursor_)};
    }
    const QTextCursor cursor = textCursor();
    return {static_cast<std::size_t>(cursor.selectionStart()), static_cast<std::size_t>(cursor.selectionEnd())};
}

QRect MessageEdit::CharacterRect(std::size_t position) const {
    const int advance = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    QRect rect;
    if (!viewing_) {
        QTextCursor cursor(document());
        cursor.setPosition(static_cast<int>(position));
        rect = cursorRect(cursor);
        rect.setWidth(advance);
    } else if (!pending_) {
        const std::size_t row = RowOf(position);
        rect = QRect(static_cast<int>(CursorX(position)), static_cast<int>(RowY(row)), advance,
                     static_cast<int>(rowHeight_));
    }
    return QRect(viewport()->mapToGlobal(rect.topLeft()), rect.size());
}

std::size_t MessageEdit::OffsetAt(QPoint global) const {
    const QPoint point = viewport()->mapFromGlobal(global);
    if (!viewing_) {
        return static_cast<std::size_t>(cursorForPosition(point).position());
    }
    return pending_ ? 0 : PositionAt(point);
}

std::size_t MessageEdit::CursorPosition() const {
    return viewing_ ? cursor_ : static_cast<std::size_t>(textCursor().position());
}

namespace {

// The editor's width for text: the viewport less the document's margins.
qreal TextWidth(const QPlainTextEdit& edit) { return edit.viewport()->width() - 2 * edit.document()->documentMargin(); }

}  // namespace

// How many characters of each kind end a full row, and a row's height, as the editor's
// layout finds them: each character alone, repeated past the width.
void MessageEdit::MeasureRows() {
    const qreal width = std::max<qreal>(TextWidth(*this), 1);
    if (width == fitsWidth_ && font() == fitsFont_) {
        return;
    }
    fitsWidth_ = width;
    fitsFont_ = font();
    const QFontMetricsF metrics(font());
    const qreal advance = std::max<qreal>(metrics.horizontalAdvance(QLatin1Char('0')), 1);
    const auto probeLength = static_cast<qsizetype>(width / advance) + 8;
    QTextOption option = document()->defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    for (char16_t c = u'!'; c <= u'~'; ++c) {
        QTextLayout probe(QString(probeLength, QChar(c)), font(), viewport());
        probe.setTextOption(option);
        probe.beginLayout();
        QTextLine line = probe.createLine();
        line.setLeadingIncluded(true);
        line.setLineWidth(width);
        probe.endLayout();
        fits_[c - 0x20] = static_cast<std::uint16_t>(std::clamp(line.textLength(), 1, 0xFFFF));
        if (c == u'0') {
            rowHeight_ = std::max<qreal>(line.height() + (line.leading() < 0 ? std::ceil(line.leading()) : 0), 1);
        }
    }
    fits_[0] = *std::max_element(fits_.begin() + 1, fits_.end());  // spaces hang
}

bool MessageEdit::EnterView() {
    MeasureRows();
    auto rows = WrapRows(text_, fits_);
    if (!rows) {
        return false;
    }
    if (!viewing_) {
        viewing_ = true;
        shown_ = QString();
        writing_ = true;
        setPlainText(QString());
        writing_ = false;
        hasLongLine_ = false;
    }
    rows_ = std::move(*rows);
    anchor_ = cursor_ = 0;
    wantedX_ = -1;
    selecting_ = false;
    AdjustRows();
    verticalScrollBar()->setValue(0);
    RestartBlink();
    return true;
}

void MessageEdit::LeaveView() {
    viewing_ = false;
    rows_ = {};
    blink_.stop();
    autoScroll_.stop();
    selecting_ = false;
    verticalScrollBar()->setRange(0, 0);
}

void MessageEdit::HandOver() {
    if (!viewing_) {
        return;
    }
    if (pending_) {
        // The rows are those of the text before: the editor starts at the top.
        anchor_ = cursor_ = 0;
        verticalScrollBar()->setValue(0);
    }
    const std::size_t top = RowStart(static_cast<std::size_t>(verticalScrollBar()->value()));
    const std::size_t anchor = anchor_;
    const std::size_t position = cursor_;
    LeaveView();
    RenderDocument();
    QTextCursor cursor(document());
    cursor.setPosition(static_cast<int>(anchor));
    cursor.setPosition(static_cast<int>(position), QTextCursor::KeepAnchor);
    setTextCursor(cursor);
    // The same row stays on top.
    const QTextBlock block = document()->findBlock(static_cast<int>(top));
    document()->documentLayout()->blockBoundingRect(block);
    int line = 0;
    if (block.layout() != nullptr) {
        const QTextLine topLine = block.layout()->lineForTextPosition(static_cast<int>(top) - block.position());
        line = topLine.isValid() ? topLine.lineNumber() : 0;
    }
    verticalScrollBar()->setValue(block.firstLineNumber() + line);
}

// After a change of width or font: the rows again, the same text on top.
void MessageEdit::Rewrap() {
    const std::size_t top = RowStart(static_cast<std::size_t>(verticalScrollBar()->value()));
    const std::size_t anchor = anchor_;
    const std::size_t position = cursor_;
    if (!EnterView()) {
        return;  // the text has not changed, so this cannot be
    }
    anchor_ = anchor;
    cursor_ = position;
    verticalScrollBar()->setValue(static_cast<int>(RowOf(top)));
    viewport()->update();
}

void MessageEdit::AdjustRows() {
    const std::size_t visible = VisibleRows();
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, static_cast<int>(rows_.size() > visible ? rows_.size() - visible : 0));
    bar->setPageStep(static_cast<int>(visible));
    bar->setSingleStep(1);
    viewport()->update();
}

// Rows that fit whole above the bottom margin.
std::size_t MessageEdit::VisibleRows() const {
    const qreal room = viewport()->height() - document()->documentMargin() - 1;
    return room > 0 ? static_cast<std::size_t>(std::floor(room / rowHeight_)) : 0;
}

std::size_t MessageEdit::RowOf(std::size_t position) const {
    const auto after = std::upper_bound(rows_.begin(), rows_.end(), position);
    return static_cast<std::size_t>(after - rows_.begin()) - 1;
}

std::size_t MessageEdit::RowEnd(std::size_t row) const {
    if (row + 1 >= rows_.size()) {
        return text_.size();
    }
    const std::size_t next = rows_[row + 1];
    return text_[next - 1] == u'\n' ? next - 1 : next;
}

std::size_t MessageEdit::LineStart(std::size_t position) const {
    std::size_t row = RowOf(position);
    while (row > 0 && text_[RowStart(row) - 1] != u'\n') {
        --row;
    }
    return RowStart(row);
}

std::size_t MessageEdit::LineEnd(std::size_t position) const {
    std::size_t row = RowOf(position);
    while (row + 1 < rows_.size() && text_[RowStart(row + 1) - 1] != u'\n') {
        ++row;
    }
    return RowEnd(row);
}

qreal MessageEdit::RowY(std::size_t row) const {
    const auto top = static_cast<std::size_t>(verticalScrollBar()->value());
    const qreal first = top == 0 ? document()->documentMargin() : 0;
    return first + (static_cast<qreal>(row) - static_cast<qreal>(top)) * rowHeight_;
}

std::size_t MessageEdit::RowAt(qreal y) const {
    const auto top = static_cast<std::size_t>(verticalScrollBar()->value());
    const qreal below = std::floor((y - RowY(top)) / rowHeight_);
    if (below <= 0) {
        return below < 0 && top > 0 ? top - 1 : top;
    }
    return std::min(top + static_cast<std::size_t>(below), rows_.size() - 1);
}

// Lays rows first to last (of one line) out as the editor lays out that part of its block.
// A CR before the line feed is left out: it shows nothing, and the editor's invisible mark
// for it comes from another font. Returns the first position laid out.
std::size_t MessageEdit::LayRows(QTextLayout& layout, std::size_t first, std::size_t last) const {
    const std::size_t from = RowStart(first);
    std::size_t to = RowEnd(last);
    if (to > from && text_[to - 1] == u'\r' && to < text_.size()) {
        --to;
    }
    QString shown(static_cast<qsizetype>(to - from), Qt::Uninitialized);
    for (std::size_t i = from; i < to; ++i) {
        shown[static_cast<qsizetype>(i - from)] = QChar(ShownChar(text_, i));
    }
    layout.setText(shown);
    layout.setFont(font());
    QTextOption option = document()->defaultTextOption();
    option.setWrapMode(QTextOption::WrapAnywhere);
    layout.setTextOption(option);
    const qreal margin = document()->documentMargin();
    const qreal width = TextWidth(*this);
    layout.beginLayout();
    for (std::size_t row = first; row <= last; ++row) {
        QTextLine line = layout.createLine();
        line.setLeadingIncluded(true);
        line.setNumColumns(static_cast<int>(std::min(RowEnd(row), to) - RowStart(row)), width);
        line.setPosition(QPointF(margin, static_cast<qreal>(row - first) * rowHeight_));
    }
    layout.endLayout();
    return from;
}

// Where a position falls in rows laid out from `from`: the CR left out takes no room.
int MessageEdit::LaidOut(const QTextLayout& layout, std::size_t from, std::size_t position) {
    return static_cast<int>(std::min<std::size_t>(position - from, static_cast<std::size_t>(layout.text().size())));
}

qreal MessageEdit::CursorX(std::size_t position) const {
    const std::size_t row = RowOf(position);
    QTextLayout layout;
    const std::size_t from = LayRows(layout, row, row);
    return layout.lineAt(0).cursorToX(LaidOut(layout, from, position));
}

std::size_t MessageEdit::PositionInRow(std::size_t row, qreal x) const {
    // With the next row of its line, so that the row's end reads as the editor reads it.
    const bool more = row + 1 < rows_.size() && text_[RowStart(row + 1) - 1] != u'\n';
    QTextLayout layout;
    const std::size_t from = LayRows(layout, row, more ? row + 1 : row);
    const auto at = static_cast<std::size_t>(layout.lineAt(0).xToCursor(x));
    // Past the end of a line: after its CR, as in the editor.
    return at >= static_cast<std::size_t>(layout.text().size()) && !more ? RowEnd(row) : from + at;
}

std::size_t MessageEdit::PositionAt(QPoint point) const { return PositionInRow(RowAt(point.y()), point.x()); }

void MessageEdit::paintEvent(QPaintEvent* event) {
    if (!viewing_) {
        QPlainTextEdit::paintEvent(event);
        return;
    }
    QPainter painter(viewport());
    if (pending_) {
        painter.drawPixmap(0, 0, held_);
        return;
    }
    painter.setPen(palette().text().color());
    QTextCharFormat selected;
    const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
    selected.setBackground(palette().brush(group, QPalette::Highlight));
    selected.setForeground(palette().brush(group, QPalette::HighlightedText));
    QStyleOption styleOption;
    styleOption.initFrom(this);
    if (style()->styleHint(QStyle::SH_RichText_FullWidthSelection, &styleOption, this) != 0) {
        selected.setProperty(QTextFormat::FullWidthSelection, true);
    }
    const std::size_t selectionStart = std::min(anchor_, cursor_);
    const std::size_t selectionEnd = std::max(anchor_, cursor_);
    const bool showCursor = hasFocus() && !isReadOnly() && cursorOn_;

    const qreal bottom = event->rect().bottom() + 1;
    std::size_t row = RowAt(event->rect().top());
    while (row < rows_.size() && RowY(row) < bottom) {
        // The rows of one line in sight, and the next one of the same line: the last row
        // laid out reads as the end of the line.
        std::size_t last = row;
        while (last + 1 < rows_.size() && text_[RowStart(last + 1) - 1] != u'\n' && RowY(last + 1) < bottom) {
            ++last;
        }
        const bool more = last + 1 < rows_.size() && text_[RowStart(last + 1) - 1] != u'\n';
        QTextLayout layout;
        const std::size_t from = LayRows(layout, row, more ? last + 1 : last);
        const std::size_t to = RowEnd(more ? last + 1 : last);
        QList<QTextLayout::FormatRange> selections;
        // A selection past the line's end shows that the line feed is selected too.
        const int reach = static_cast<int>(layout.text().size()) + (more ? 0 : 1);
        if (selectionStart < to + 1 && selectionEnd > from && selectionEnd > selectionStart) {
            const int start = LaidOut(layout, from, std::max(selectionStart, from));
            const int end = selectionEnd > to ? reach : LaidOut(layout, from, selectionEnd);
            if (end > start) {
                selections.append({start, end - start, selected});
            }
        }
        const QPointF at(0, RowY(row));
        layout.draw(&painter, at, selections);
        if (showCursor && cursor_ >= from && cursor_ <= to) {
            layout.drawCursor(&painter, at, LaidOut(layout, from, cursor_), cursorWidth());
        }
        row = last + 1;
    }
}

void MessageEdit::scrollContentsBy(int dx, int dy) {
    if (viewing_) {
        viewport()->update();
        return;
    }
    QPlainTextEdit::scrollContentsBy(dx, dy);
}

void MessageEdit::ShowRow(std::size_t row) {
    QScrollBar* bar = verticalScrollBar();
    const auto top = static_cast<std::size_t>(bar->value());
    const std::size_t visible = std::max<std::size_t>(VisibleRows(), 1);
    if (row < top) {
        bar->setValue(static_cast<int>(row));
    } else if (row >= top + visible) {
        bar->setValue(static_cast<int>(row - visible + 1));
    }
}

void MessageEdit::MoveCursor(std::size_t position, bool keepAnchor) {
    cursor_ = std::min(position, text_.size());
    if (!keepAnchor) {
        anchor_ = cursor_;
    }
    ShowRow(RowOf(cursor_));
    RestartBlink();
}

void MessageEdit::RestartBlink() {
    if (viewing_ && QAccessible::isActive()) {
        QAccessibleTextCursorEvent moved(this, static_cast<int>(cursor_));
        QAccessible::updateAccessibility(&moved);
    }
    cursorOn_ = true;
    const int flash = QGuiApplication::styleHints()->cursorFlashTime();
    if (viewing_ && hasFocus() && !isReadOnly() && flash > 0) {
        blink_.start(flash / 2, this);
    } else {
        blink_.stop();
    }
    viewport()->update();
}

void MessageEdit::CopySelection(bool toSelection) const {
    if (anchor_ == cursor_) {
        return;
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (toSelection && !clipboard->supportsSelection()) {
        return;
    }
    clipboard->setMimeData(Copied(std::min(anchor_, cursor_), std::max(anchor_, cursor_)),
                           toSelection ? QClipboard::Selection : QClipboard::Clipboard);
}

void MessageEdit::SelectEverything() {
    anchor_ = 0;
    cursor_ = text_.size();
    RestartBlink();
    CopySelection(true);
}

// A page down or up as the editor turns it: the row cut off at the bottom comes to the top
// (or the rows above fill the page), and the cursor keeps its height in the window.
std::size_t MessageEdit::PageMove(bool down) {
    QScrollBar* bar = verticalScrollBar();
    const auto top = static_cast<std::size_t>(bar->value());
    const qreal margin = document()->documentMargin();
    const auto offset = [margin](std::size_t topRow) { return topRow == 0 ? margin : 0; };
    const qreal height = viewport()->height();
    std::size_t row = RowOf(cursor_);
    qreal lastY = RowY(row) + offset(top);
    if (down) {
        const auto whole =
            static_cast<std::size_t>(std::max<qreal>(std::floor((height - offset(top)) / rowHeight_), 0));
        if (top + whole >= rows_.size()) {
            lastY = height - offset(top);
        } else {
            bar->setValue(static_cast<int>(top + whole));
        }
        lastY -= offset(static_cast<std::size_t>(bar->value()));
        do {
            if (row + 1 >= rows_.size()) {
                break;
            }
            ++row;
        } while (RowY(row) < lastY);
    } else {
        const auto back = static_cast<std::size_t>(std::floor((height + offset(top)) / rowHeight_));
        if (top == 0) {
            lastY = 0;
        }
        bar->setValue(static_cast<int>(top > back ? top - back : 0));
        lastY -= offset(static_cast<std::size_t>(bar->value()));
        do {
            if (row == 0) {
                break;
            }
            --row;
        } while (RowY(row) > lastY);
    }
    return PositionInRow(row, wantedX_);
}

// The keys that move the cursor, with Shift to select: false for any other key.
bool MessageEdit::ViewMove(QKeyEvent* event) {
    struct Move {
        QKeySequence::StandardKey move;
        QKeySequence::StandardKey select;
        int what;
    };
    enum { Right, Left, WordRight, WordLeft, Down, Up, Home, End, Top, Bottom, LineHome, LineEnd_, PageDown, PageUp };
    static const Move moves[] = {
        {QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar, Right},
        {QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar, Left},
        {QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord, WordRight},
        {QKeySequence::MoveToPreviousWord, QKeySequence::SelectPreviousWord, WordLeft},
        {QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine, Down},
        {QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine, Up},
        {QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine, Home},
        {QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine, End},
        {QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument, Top},
        {QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument, Bottom},
        {QKeySequence::MoveToStartOfBlock, QKeySequence::SelectStartOfBlock, LineHome},
        {QKeySequence::MoveToEndOfBlock, QKeySequence::SelectEndOfBlock, LineEnd_},
        {QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage, PageDown},
        {QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage, PageUp},
    };
    const Move* found = nullptr;
    bool keep = false;
    for (const Move& m : moves) {
        if (event->matches(m.move) || event->matches(m.select)) {
            found = &m;
            keep = event->matches(m.select);
            break;
        }
    }
    if (found == nullptr) {
        return false;
    }
    const std::size_t row = RowOf(cursor_);
    const bool vertical = found->what == Down || found->what == Up || found->what == PageDown || found->what == PageUp;
    if (vertical && wantedX_ < 0) {
        wantedX_ = CursorX(cursor_);
    }
    std::size_t to = cursor_;
    const bool collapse = !keep && anchor_ != cursor_;
    switch (found->what) {
    case Right:
        to = collapse ? std::max(anchor_, cursor_) : std::min(cursor_ + 1, text_.size());
        break;
    case Left:
        to = collapse ? std::min(anchor_, cursor_) : (cursor_ > 0 ? cursor_ - 1 : 0);
        break;
    case WordRight:
        to = NextWord(text_, cursor_, text_.size());
        break;
    case WordLeft:
        to = PreviousWord(text_, cursor_, 0);
        break;
    case Down:
        to = row + 1 < rows_.size() ? PositionInRow(row + 1, wantedX_) : text_.size();
        break;
    case Up:
        to = row > 0 ? PositionInRow(row - 1, wantedX_) : 0;
        break;
    case PageDown:
    case PageUp:
        to = PageMove(found->what == PageDown);
        break;
    case Home:
        to = RowStart(row);
        break;
    case End: {
        to = RowEnd(row);
        // A wrapped row ends before the space it hangs, or the cursor would show on the next.
        const bool wrapped = row + 1 < rows_.size() && to == RowStart(row + 1);
        if (wrapped && to > RowStart(row) && text_[to - 1] == u' ') {
            --to;
        }
        break;
    }
    case Top:
        to = 0;
        break;
    case Bottom:
        to = text_.size();
        break;
    case LineHome:
        to = LineStart(cursor_);
        break;
    case LineEnd_:
        to = LineEnd(cursor_);
        break;
    default:
        break;
    }
    const qreal x = wantedX_;
    MoveCursor(to, keep);
    if (vertical) {
        wantedX_ = x;
    } else {
        wantedX_ = -1;
    }
    if (keep) {
        CopySelection(true);
    }
    return true;
}

void MessageEdit::keyPressEvent(QKeyEvent* event) {
    if (!viewing_) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    if (pending_) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    if (event->matches(QKeySequence::Copy) ||
        (event->key() == Qt::Key_Insert && event->modifiers() == Qt::ControlModifier)) {
        CopySelection();
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        SelectEverything();
        event->accept();
        return;
    }
    if (isReadOnly()) {
        // As the editor while a command runs: the keys only scroll.
        QScrollBar* bar = verticalScrollBar();
        if (event->modifiers() == Qt::NoModifier && event->key() == Qt::Key_Home) {
            bar->triggerAction(QAbstractSlider::SliderToMinimum);
        } else if (event->modifiers() == Qt::NoModifier && event->key() == Qt::Key_End) {
            bar->triggerAction(QAbstractSlider::SliderToMaximum);
        } else {
            QAbstractScrollArea::keyPressEvent(event);
        }
        return;
    }
    if (ViewMove(event)) {
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo)) {
        event->accept();  // a text just written has no history
        return;
    }
    const QString typed = event->text();
    const bool edits = event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut) ||
                       event->matches(QKeySequence::Delete) || event->matches(QKeySequence::Backspace) ||
                       event->matches(QKeySequence::DeleteStartOfWord) ||
                       event->matches(QKeySequence::DeleteEndOfWord) || event->matches(QKeySequence::DeleteEndOfLine) ||
                       event->matches(QKeySequence::DeleteCompleteLine) ||
                       event->matches(QKeySequence::InsertParagraphSeparator) ||
                       event->matches(QKeySequence::InsertLineSeparator) || event->key() == Qt::Key_Backspace ||
                       event->key() == Qt::Key_Delete || (!typed.isEmpty() && typed.at(0).isPrint());
    if (!edits) {
        event->ignore();
        return;
    }
    HandOver();
    QPlainTextEdit::keyPressEvent(event);
}

void MessageEdit::inputMethodEvent(QInputMethodEvent* event) {
    if (viewing_ && pending_) {
        return;
    }
    if (viewing_ && !isReadOnly() && (!event->commitString().isEmpty() || !event->preeditString().isEmpty())) {
        HandOver();
    }
    QPlainTextEdit::inputMethodEvent(event);
}

void MessageEdit::mousePressEvent(QMouseEvent* event) {
    if (!viewing_) {
        QPlainTextEdit::mousePressEvent(event);
        return;
    }
    if (pending_) {
        event->accept();
        return;
    }
    if (event->button() == Qt::MiddleButton && !isReadOnly() && QGuiApplication::clipboard()->supportsSelection()) {
        HandOver();
        QPlainTextEdit::mousePressEvent(event);
        return;
    }
    event->accept();
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const std::size_t at = PositionAt(event->position().toPoint());
    const auto [from, to] = Selection();
    const bool shift = event->modifiers().testFlag(Qt::ShiftModifier);
    if (!shift && from < to && at >= from && at < to) {
        // Pressed in the selection: it may be dragged away.
        dragFrom_ = event->position().toPoint();
        return;
    }
    selecting_ = true;
    wordSelecting_ = false;
    wantedX_ = -1;
    MoveCursor(at, shift);
}

// The selection dragged out as the editor drags it: copied, or moved when the area is editable.
void MessageEdit::DragSelection() {
    const auto [from, to] = Selection();
    dragFrom_.reset();
    auto* drag = new QDrag(this);
    drag->setMimeData(Copied(from, to));
    const Qt::DropActions actions = isReadOnly() ? Qt::CopyAction : Qt::CopyAction | Qt::MoveAction;
    const Qt::DropAction done = drag->exec(actions, Qt::CopyAction);
    // A drop into this area moved the text itself.
    if (done == Qt::MoveAction && drag->target() != this && drag->target() != viewport()) {
        HandOver();
        textCursor().removeSelectedText();
    }
}

void MessageEdit::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!viewing_ || pending_ || event->button() != Qt::LeftButton) {
        if (!viewing_) {
            QPlainTextEdit::mouseDoubleClickEvent(event);
        }
        return;
    }
    const std::size_t at = PositionAt(event->position().toPoint());
    clickedWord_ = WordAt(text_, at, 0, text_.size());
    anchor_ = clickedWord_.first;
    cursor_ = clickedWord_.second;
    selecting_ = true;
    wordSelecting_ = true;
    RestartBlink();
    CopySelection(true);
    event->accept();
}

void MessageEdit::mouseMoveEvent(QMouseEvent* event) {
    if (!viewing_) {
        QPlainTextEdit::mouseMoveEvent(event);
        return;
    }
    if (pending_) {
        event->accept();
        return;
    }
    event->accept();
    if (dragFrom_ && (event->buttons() & Qt::LeftButton) &&
        (event->position().toPoint() - *dragFrom_).manhattanLength() >= QApplication::startDragDistance()) {
        DragSelection();
        return;
    }
    if (!selecting_ || !(event->buttons() & Qt::LeftButton)) {
        return;
    }
    lastMouse_ = event->position().toPoint();
    const bool outside = lastMouse_.y() < 0 || lastMouse_.y() > viewport()->height();
    if (outside && !autoScroll_.isActive()) {
        autoScroll_.start(50, this);
    } else if (!outside) {
        autoScroll_.stop();
    }
    const std::size_t at = PositionAt(lastMouse_);
    if (wordSelecting_) {
        const auto word = WordAt(text_, at, 0, text_.size());
        if (at < clickedWord_.first) {
            anchor_ = clickedWord_.second;
            cursor_ = word.first;
        } else {
            anchor_ = clickedWord_.first;
            cursor_ = std::max(word.second, clickedWord_.second);
        }
        ShowRow(RowOf(cursor_));
        RestartBlink();
        return;
    }
    MoveCursor(at, true);
}

void MessageEdit::mouseReleaseEvent(QMouseEvent* event) {
    if (!viewing_) {
        QPlainTextEdit::mouseReleaseEvent(event);
        return;
    }
    if (pending_) {
        event->accept();
        return;
    }
    event->accept();
    if (dragFrom_ && event->button() == Qt::LeftButton) {
        // A click in the selection, not a drag: the cursor goes there.
        dragFrom_.reset();
        MoveCursor(PositionAt(event->position().toPoint()), false);
        return;
    }
    if (event->button() == Qt::LeftButton && selecting_) {
        selecting_ = false;
        autoScroll_.stop();
        CopySelection(true);
    }
}

void MessageEdit::contextMenuEvent(QContextMenuEvent* event) {
    if (!viewing_) {
        QPlainTextEdit::contextMenuEvent(event);
        return;
    }
    if (pending_) {
        return;
    }
    // The editor's own menu, its actions bound to the view.
    QMenu* menu = createStandardContextMenu(event->pos());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const bool selection = anchor_ != cursor_;
    for (QAction* action : menu->actions()) {
        const QString name = action->objectName();
        std::function<void()> run;
        bool enabled = false;
        if (name == QLatin1String("edit-copy")) {
            enabled = selection;
            run = [this] { CopySelection(); };
        } else if (name == QLatin1String("select-all")) {
            enabled = !text_.empty();
            run = [this] { SelectEverything(); };
        } else if (name == QLatin1String("edit-cut")) {
            enabled = selection && !isReadOnly();
            run = [this] {
                HandOver();
                cut();
            };
        } else if (name == QLatin1String("edit-delete")) {
            enabled = selection && !isReadOnly();
            run = [this] {
                HandOver();
                textCursor().removeSelectedText();
            };
        } else if (name == QLatin1String("edit-paste")) {
            enabled = action->isEnabled();
            run = [this] {
                HandOver();
                paste();
            };
        } else {
            continue;
        }
        action->disconnect(this);
        for (QObject* child : children()) {
            action->disconnect(child);
        }
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, [this, run] {
            if (viewing_) {
                run();
            }
        });
    }
    menu->popup(event->globalPos());
}

void MessageEdit::dragEnterEvent(QDragEnterEvent* event) {
    if (viewing_) {
        if (pending_ || isReadOnly() || event->mimeData() == nullptr || !event->mimeData()->hasText()) {
            event->ignore();
            return;
        }
        HandOver();
    }
    QPlainTextEdit::dragEnterEvent(event);
}

void MessageEdit::changeEvent(QEvent* event) {
    QPlainTextEdit::changeEvent(event);
    if (!viewing_) {
        return;
    }
    if (event->type() == QEvent::FontChange && !pending_) {
        Rewrap();
    } else if (event->type() == QEvent::ReadOnlyChange) {
        RestartBlink();
    } else {
        viewport()->update();
    }
}

void MessageEdit::focusInEvent(QFocusEvent* event) {
    QPlainTextEdit::focusInEvent(event);
    RestartBlink();
}

void MessageEdit::focusOutEvent(QFocusEvent* event) {
    QPlainTextEdit::focusOutEvent(event);
    RestartBlink();
}

void MessageEdit::timerEvent(QTimerEvent* event) {
    if (event->timerId() == blink_.timerId()) {
        cursorOn_ = !cursorOn_;
        viewport()->update();
    } else if (event->timerId() == autoScroll_.timerId()) {
        if (!viewing_ || pending_ || !selecting_) {
            autoScroll_.stop();
            return;
        }
        QScrollBar* bar = verticalScrollBar();
        bar->setValue(bar->value() + (lastMouse_.y() < 0 ? -1 : 1));
        MoveCursor(PositionAt(lastMouse_), true);
    } else {
        QPlainTextEdit::timerEvent(event);
    }
}

}  // namespace tavorin
