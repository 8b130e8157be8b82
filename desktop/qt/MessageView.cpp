#include "desktop/qt/MessageView.h"

#include <QAccessible>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStyle>
#include <QStyleHints>
#include <QStyleOption>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

#include "desktop/qt/MessageText.h"

namespace tavorin {

MessageView::MessageView(const std::u16string& text, QPlainTextEdit& editor, std::function<void()> handOver,
                         QWidget* parent)
    : QAbstractScrollArea(parent), text_(text), editor_(editor), handOver_(std::move(handOver)) {
    // As the editor looks and takes input.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(editor.focusPolicy());
    setAttribute(Qt::WA_InputMethodEnabled);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    viewport()->setCursor(Qt::IBeamCursor);
}

// The editor's margin around its document, and its width for text: the viewport less the margins.
qreal MessageView::Margin() const { return editor_.document()->documentMargin(); }

qreal MessageView::TextWidth() const { return viewport()->width() - 2 * Margin(); }

// How many characters of each kind end a full row, and a row's height, as the editor's
// layout finds them: each character alone, repeated past the width.
void MessageView::MeasureRows() {
    const qreal width = std::max<qreal>(TextWidth(), 1);
    if (width == fitsWidth_ && font() == fitsFont_) {
        return;
    }
    fitsWidth_ = width;
    fitsFont_ = font();
    const QFontMetricsF metrics(font());
    const qreal advance = std::max<qreal>(metrics.horizontalAdvance(QLatin1Char('0')), 1);
    const auto probeLength = static_cast<qsizetype>(width / advance) + 8;
    QTextOption option = editor_.document()->defaultTextOption();
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

bool MessageView::Show() {
    MeasureRows();
    auto rows = WrapRows(text_, fits_);
    if (!rows) {
        return false;
    }
    active_ = true;
    held_ = false;
    heldPicture_ = QPixmap();
    rows_ = std::move(*rows);
    anchor_ = cursor_ = 0;
    wantedX_ = -1;
    selecting_ = false;
    AdjustRows();
    verticalScrollBar()->setValue(0);
    RestartBlink();
    return true;
}

void MessageView::Leave() {
    if (!active_) {
        return;
    }
    active_ = false;
    held_ = false;
    heldPicture_ = QPixmap();
    rows_ = {};
    blink_.stop();
    autoScroll_.stop();
    selecting_ = false;
    verticalScrollBar()->setRange(0, 0);
}

// The rows are those of the text being replaced: what shows is kept as a picture.
void MessageView::Hold() {
    heldPicture_ = viewport()->grab();
    held_ = true;
}

QRect MessageView::CharacterRect(std::size_t position) const {
    if (held_) {
        return {};
    }
    const int advance = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    return {static_cast<int>(CursorX(position)), static_cast<int>(RowY(RowOf(position))), advance,
            static_cast<int>(rowHeight_)};
}

MessageView::Place MessageView::Where() const {
    if (held_) {
        return {};  // the rows are those of the text before: the editor starts at the top
    }
    return {anchor_, cursor_, RowStart(static_cast<std::size_t>(verticalScrollBar()->value()))};
}

void MessageView::Rewrap() {
    if (held_) {
        return;
    }
    const Place place = Where();
    if (!Show()) {
        return;  // the text has not changed, so this cannot be
    }
    anchor_ = place.anchor;
    cursor_ = place.cursor;
    verticalScrollBar()->setValue(static_cast<int>(RowOf(place.top)));
    viewport()->update();
}

void MessageView::AdjustRows() {
    const std::size_t visible = VisibleRows();
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, static_cast<int>(rows_.size() > visible ? rows_.size() - visible : 0));
    bar->setPageStep(static_cast<int>(visible));
    bar->setSingleStep(1);
    viewport()->update();
}

// Rows that fit whole above the bottom margin.
std::size_t MessageView::VisibleRows() const {
    const qreal room = viewport()->height() - Margin() - 1;
    return room > 0 ? static_cast<std::size_t>(std::floor(room / rowHeight_)) : 0;
}

std::size_t MessageView::RowOf(std::size_t position) const {
    const auto after = std::upper_bound(rows_.begin(), rows_.end(), position);
    return static_cast<std::size_t>(after - rows_.begin()) - 1;
}

std::size_t MessageView::RowEnd(std::size_t row) const {
    if (row + 1 >= rows_.size()) {
        return text_.size();
    }
    const std::size_t next = rows_[row + 1];
    return text_[next - 1] == u'\n' ? next - 1 : next;
}

std::size_t MessageView::LineStart(std::size_t position) const {
    std::size_t row = RowOf(position);
    while (row > 0 && text_[RowStart(row) - 1] != u'\n') {
        --row;
    }
    return RowStart(row);
}

std::size_t MessageView::LineEnd(std::size_t position) const {
    std::size_t row = RowOf(position);
    while (LineGoesOn(row)) {
        ++row;
    }
    return RowEnd(row);
}

qreal MessageView::RowY(std::size_t row) const {
    const auto top = static_cast<std::size_t>(verticalScrollBar()->value());
    const qreal first = top == 0 ? Margin() : 0;
    return first + (static_cast<qreal>(row) - static_cast<qreal>(top)) * rowHeight_;
}

std::size_t MessageView::RowAt(qreal y) const {
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
std::size_t MessageView::LayRows(QTextLayout& layout, std::size_t first, std::size_t last) const {
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
    QTextOption option = editor_.document()->defaultTextOption();
    option.setWrapMode(QTextOption::WrapAnywhere);
    layout.setTextOption(option);
    const qreal margin = Margin();
    const qreal width = TextWidth();
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
int MessageView::LaidOut(const QTextLayout& layout, std::size_t from, std::size_t position) {
    return static_cast<int>(std::min<std::size_t>(position - from, static_cast<std::size_t>(layout.text().size())));
}

qreal MessageView::CursorX(std::size_t position) const {
    const std::size_t row = RowOf(position);
    QTextLayout layout;
    const std::size_t from = LayRows(layout, row, row);
    return layout.lineAt(0).cursorToX(LaidOut(layout, from, position));
}

std::size_t MessageView::PositionInRow(std::size_t row, qreal x) const {
    // With the next row of its line, so that the row's end reads as the editor reads it.
    const bool more = LineGoesOn(row);
    QTextLayout layout;
    const std::size_t from = LayRows(layout, row, more ? row + 1 : row);
    const auto at = static_cast<std::size_t>(layout.lineAt(0).xToCursor(x));
    // Past the end of a line: after its CR, as in the editor.
    return at >= static_cast<std::size_t>(layout.text().size()) && !more ? RowEnd(row) : from + at;
}

std::size_t MessageView::PositionAt(QPoint point) const { return PositionInRow(RowAt(point.y()), point.x()); }

void MessageView::paintEvent(QPaintEvent* event) {
    const QRect area = event->rect();
    QPainter painter(viewport());
    if (held_) {
        painter.drawPixmap(0, 0, heldPicture_);
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
    const bool showCursor = hasFocus() && !readOnly_ && cursorOn_;

    const qreal bottom = area.bottom() + 1;
    std::size_t row = RowAt(area.top());
    while (row < rows_.size() && RowY(row) < bottom) {
        // The rows of one line in sight, and the next one of the same line: the last row
        // laid out reads as the end of the line.
        std::size_t last = row;
        while (LineGoesOn(last) && RowY(last + 1) < bottom) {
            ++last;
        }
        const bool more = LineGoesOn(last);
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
            layout.drawCursor(&painter, at, LaidOut(layout, from, cursor_), editor_.cursorWidth());
        }
        row = last + 1;
    }
}

void MessageView::ShowRow(std::size_t row) {
    QScrollBar* bar = verticalScrollBar();
    const auto top = static_cast<std::size_t>(bar->value());
    const std::size_t visible = std::max<std::size_t>(VisibleRows(), 1);
    if (row < top) {
        bar->setValue(static_cast<int>(row));
    } else if (row >= top + visible) {
        bar->setValue(static_cast<int>(row - visible + 1));
    }
}

void MessageView::MoveCursor(std::size_t position, bool keepAnchor) {
    cursor_ = std::min(position, text_.size());
    if (!keepAnchor) {
        anchor_ = cursor_;
    }
    ShowRow(RowOf(cursor_));
    RestartBlink();
}

void MessageView::RestartBlink() {
    if (QAccessible::isActive()) {
        QAccessibleTextCursorEvent moved(this, static_cast<int>(cursor_));
        QAccessible::updateAccessibility(&moved);
    }
    cursorOn_ = true;
    const int flash = QGuiApplication::styleHints()->cursorFlashTime();
    if (hasFocus() && !readOnly_ && flash > 0) {
        blink_.start(flash / 2, this);
    } else {
        blink_.stop();
    }
    viewport()->update();
}

bool MessageView::LineGoesOn(std::size_t row) const {
    return row + 1 < rows_.size() && text_[RowStart(row + 1) - 1] != u'\n';
}

void MessageView::SetReadOnly(bool readOnly) {
    readOnly_ = readOnly;
    setAttribute(Qt::WA_InputMethodEnabled, !readOnly);
    RestartBlink();
}

void MessageView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    RestartBlink();
}

void MessageView::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    RestartBlink();
}

void MessageView::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (!active_) {
        return;
    }
    if (event->type() == QEvent::FontChange) {
        Rewrap();
    } else {
        viewport()->update();
    }
}

void MessageView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    if (active_) {
        Rewrap();
    }
}

// What is in sight is painted from the scroll bar alone.
void MessageView::scrollContentsBy(int, int) { viewport()->update(); }

void MessageView::timerEvent(QTimerEvent* event) {
    if (event->timerId() == blink_.timerId()) {
        cursorOn_ = !cursorOn_;
        viewport()->update();
    } else if (event->timerId() == autoScroll_.timerId()) {
        if (held_ || !selecting_) {
            autoScroll_.stop();
            return;
        }
        QScrollBar* bar = verticalScrollBar();
        bar->setValue(bar->value() + (lastMouse_.y() < 0 ? -1 : 1));
        MoveCursor(PositionAt(lastMouse_), true);
    }
}

}  // namespace tavorin
