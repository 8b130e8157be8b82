#include "desktop/qt/MessageView.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleHints>
#include <QStyleOption>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <functional>

#include "desktop/qt/MessageEdit.h"

namespace tavorin {

MessageView::MessageView(MessageEdit& edit) : edit_(edit), text_(edit.Text()) {}

namespace {

// The editor's width for text: the viewport less the document's margins.
qreal TextWidth(const QPlainTextEdit& edit) { return edit.viewport()->width() - 2 * edit.document()->documentMargin(); }

}  // namespace

// How many characters of each kind end a full row, and a row's height, as the editor's
// layout finds them: each character alone, repeated past the width.
void MessageView::MeasureRows() {
    const qreal width = std::max<qreal>(TextWidth(edit_), 1);
    if (width == fitsWidth_ && edit_.font() == fitsFont_) {
        return;
    }
    fitsWidth_ = width;
    fitsFont_ = edit_.font();
    const QFontMetricsF metrics(edit_.font());
    const qreal advance = std::max<qreal>(metrics.horizontalAdvance(QLatin1Char('0')), 1);
    const auto probeLength = static_cast<qsizetype>(width / advance) + 8;
    QTextOption option = edit_.document()->defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    for (char16_t c = u'!'; c <= u'~'; ++c) {
        QTextLayout probe(QString(probeLength, QChar(c)), edit_.font(), edit_.viewport());
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
    if (!active_) {
        active_ = true;
        // Emptied before the rows set the scroll bar: the editor resets it for its document.
        edit_.DropDocument();
        edit_.installEventFilter(this);
        edit_.viewport()->installEventFilter(this);
    }
    held_ = false;
    heldPicture_ = QPixmap();
    rows_ = std::move(*rows);
    anchor_ = cursor_ = 0;
    wantedX_ = -1;
    selecting_ = false;
    AdjustRows();
    edit_.verticalScrollBar()->setValue(0);
    RestartBlink();
    return true;
}

void MessageView::Leave() {
    if (!active_) {
        return;
    }
    active_ = false;
    edit_.removeEventFilter(this);
    edit_.viewport()->removeEventFilter(this);
    held_ = false;
    heldPicture_ = QPixmap();
    rows_ = {};
    blink_.stop();
    autoScroll_.stop();
    selecting_ = false;
    edit_.verticalScrollBar()->setRange(0, 0);
}

// The rows are those of the text being replaced: what shows is kept as a picture.
void MessageView::Hold() {
    heldPicture_ = edit_.viewport()->grab();
    held_ = true;
}

QRect MessageView::CharacterRect(std::size_t position) const {
    if (held_) {
        return {};
    }
    const int advance = edit_.fontMetrics().horizontalAdvance(QLatin1Char('0'));
    return {static_cast<int>(CursorX(position)), static_cast<int>(RowY(RowOf(position))), advance,
            static_cast<int>(rowHeight_)};
}

MessageView::Place MessageView::Where() const {
    if (held_) {
        return {};  // the rows are those of the text before: the editor starts at the top
    }
    return {anchor_, cursor_, RowStart(static_cast<std::size_t>(edit_.verticalScrollBar()->value()))};
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
    edit_.verticalScrollBar()->setValue(static_cast<int>(RowOf(place.top)));
    edit_.viewport()->update();
}

void MessageView::AdjustRows() {
    const std::size_t visible = VisibleRows();
    QScrollBar* bar = edit_.verticalScrollBar();
    bar->setRange(0, static_cast<int>(rows_.size() > visible ? rows_.size() - visible : 0));
    bar->setPageStep(static_cast<int>(visible));
    bar->setSingleStep(1);
    edit_.viewport()->update();
}

// Rows that fit whole above the bottom margin.
std::size_t MessageView::VisibleRows() const {
    const qreal room = edit_.viewport()->height() - edit_.document()->documentMargin() - 1;
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
    while (row + 1 < rows_.size() && text_[RowStart(row + 1) - 1] != u'\n') {
        ++row;
    }
    return RowEnd(row);
}

qreal MessageView::RowY(std::size_t row) const {
    const auto top = static_cast<std::size_t>(edit_.verticalScrollBar()->value());
    const qreal first = top == 0 ? edit_.document()->documentMargin() : 0;
    return first + (static_cast<qreal>(row) - static_cast<qreal>(top)) * rowHeight_;
}

std::size_t MessageView::RowAt(qreal y) const {
    const auto top = static_cast<std::size_t>(edit_.verticalScrollBar()->value());
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
    layout.setFont(edit_.font());
    QTextOption option = edit_.document()->defaultTextOption();
    option.setWrapMode(QTextOption::WrapAnywhere);
    layout.setTextOption(option);
    const qreal margin = edit_.document()->documentMargin();
    const qreal width = TextWidth(edit_);
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
    const bool more = row + 1 < rows_.size() && text_[RowStart(row + 1) - 1] != u'\n';
    QTextLayout layout;
    const std::size_t from = LayRows(layout, row, more ? row + 1 : row);
    const auto at = static_cast<std::size_t>(layout.lineAt(0).xToCursor(x));
    // Past the end of a line: after its CR, as in the editor.
    return at >= static_cast<std::size_t>(layout.text().size()) && !more ? RowEnd(row) : from + at;
}

std::size_t MessageView::PositionAt(QPoint point) const { return PositionInRow(RowAt(point.y()), point.x()); }

void MessageView::Paint(const QRect& area) {
    QPainter painter(edit_.viewport());
    if (held_) {
        painter.drawPixmap(0, 0, heldPicture_);
        return;
    }
    painter.setPen(edit_.palette().text().color());
    QTextCharFormat selected;
    const QPalette::ColorGroup group = edit_.hasFocus() ? QPalette::Active : QPalette::Inactive;
    selected.setBackground(edit_.palette().brush(group, QPalette::Highlight));
    selected.setForeground(edit_.palette().brush(group, QPalette::HighlightedText));
    QStyleOption styleOption;
    styleOption.initFrom(&edit_);
    if (edit_.style()->styleHint(QStyle::SH_RichText_FullWidthSelection, &styleOption, &edit_) != 0) {
        selected.setProperty(QTextFormat::FullWidthSelection, true);
    }
    const std::size_t selectionStart = std::min(anchor_, cursor_);
    const std::size_t selectionEnd = std::max(anchor_, cursor_);
    const bool showCursor = edit_.hasFocus() && !edit_.isReadOnly() && cursorOn_;

    const qreal bottom = area.bottom() + 1;
    std::size_t row = RowAt(area.top());
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
            layout.drawCursor(&painter, at, LaidOut(layout, from, cursor_), edit_.cursorWidth());
        }
        row = last + 1;
    }
}

void MessageView::ShowRow(std::size_t row) {
    QScrollBar* bar = edit_.verticalScrollBar();
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
        QAccessibleTextCursorEvent moved(&edit_, static_cast<int>(cursor_));
        QAccessible::updateAccessibility(&moved);
    }
    cursorOn_ = true;
    const int flash = QGuiApplication::styleHints()->cursorFlashTime();
    if (edit_.hasFocus() && !edit_.isReadOnly() && flash > 0) {
        blink_.start(flash / 2, this);
    } else {
        blink_.stop();
    }
    edit_.viewport()->update();
}

void MessageView::CopySelection(bool toSelection) const {
    if (anchor_ == cursor_) {
        return;
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (toSelection && !clipboard->supportsSelection()) {
        return;
    }
    clipboard->setMimeData(edit_.Copied(std::min(anchor_, cursor_), std::max(anchor_, cursor_)),
                           toSelection ? QClipboard::Selection : QClipboard::Clipboard);
}

void MessageView::SelectEverything() {
    anchor_ = 0;
    cursor_ = text_.size();
    RestartBlink();
    CopySelection(true);
}

// A page down or up as the editor turns it: the row cut off at the bottom comes to the top
// (or the rows above fill the page), and the cursor keeps its height in the window.
std::size_t MessageView::PageMove(bool down) {
    QScrollBar* bar = edit_.verticalScrollBar();
    const auto top = static_cast<std::size_t>(bar->value());
    const qreal margin = edit_.document()->documentMargin();
    const auto offset = [margin](std::size_t topRow) { return topRow == 0 ? margin : 0; };
    const qreal height = edit_.viewport()->height();
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
bool MessageView::Move(QKeyEvent* event) {
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

// While the view shows, it takes the input of the area and of its viewport: true for an event
// it handled, false for one the editor goes on with (after a hand-over).
bool MessageView::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    const bool onViewport = watched == edit_.viewport();
    if (type == QEvent::Paint) {
        if (onViewport) {
            Paint(static_cast<QPaintEvent*>(event)->rect());
        }
        return onViewport;
    }
    if (type == QEvent::FocusIn || type == QEvent::FocusOut) {
        RestartBlink();
        return false;
    }
    if (!edit_.isEnabled()) {
        return false;  // takes no input
    }
    if (!onViewport && type == QEvent::KeyPress) {
        return KeyPress(static_cast<QKeyEvent*>(event));
    }
    const bool input = onViewport ? type == QEvent::MouseButtonPress || type == QEvent::MouseMove ||
                                        type == QEvent::MouseButtonRelease || type == QEvent::MouseButtonDblClick ||
                                        type == QEvent::ContextMenu || type == QEvent::DragEnter
                                  : type == QEvent::InputMethod || type == QEvent::ContextMenu;
    if (!input) {
        return false;
    }
    if (held_) {
        // What shows is a picture of a text no longer there.
        event->setAccepted(type != QEvent::DragEnter);
        return true;
    }
    switch (type) {
    case QEvent::MouseButtonPress:
        return MousePress(static_cast<QMouseEvent*>(event));
    case QEvent::MouseMove:
        MouseMove(static_cast<QMouseEvent*>(event));
        return true;
    case QEvent::MouseButtonRelease:
        MouseRelease(static_cast<QMouseEvent*>(event));
        return true;
    case QEvent::MouseButtonDblClick:
        MouseDoubleClick(static_cast<QMouseEvent*>(event));
        return true;
    case QEvent::ContextMenu:
        ContextMenu(static_cast<QContextMenuEvent*>(event));
        return true;
    case QEvent::DragEnter:
        return DragEnter(static_cast<QDragEnterEvent*>(event));
    default:
        return InputMethod(static_cast<QInputMethodEvent*>(event));
    }
}

bool MessageView::KeyPress(QKeyEvent* event) {
    const bool control = (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) != 0;
    if ((event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) && !control) {
        return false;  // moves the focus
    }
    if (held_) {
        edit_.ScrollKey(event);
        return true;
    }
    if (event->matches(QKeySequence::Copy) ||
        (event->key() == Qt::Key_Insert && event->modifiers() == Qt::ControlModifier)) {
        CopySelection();
        event->accept();
        return true;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        SelectEverything();
        event->accept();
        return true;
    }
    if (edit_.isReadOnly()) {
        // As the editor while a command runs: the keys only scroll.
        QScrollBar* bar = edit_.verticalScrollBar();
        if (event->modifiers() == Qt::NoModifier && event->key() == Qt::Key_Home) {
            bar->triggerAction(QAbstractSlider::SliderToMinimum);
        } else if (event->modifiers() == Qt::NoModifier && event->key() == Qt::Key_End) {
            bar->triggerAction(QAbstractSlider::SliderToMaximum);
        } else {
            edit_.ScrollKey(event);
        }
        return true;
    }
    if (Move(event)) {
        event->accept();
        return true;
    }
    if (event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo)) {
        event->accept();  // a text just written has no history
        return true;
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
        return true;
    }
    edit_.HandOver();
    return false;
}

bool MessageView::InputMethod(QInputMethodEvent* event) {
    if (!edit_.isReadOnly() && (!event->commitString().isEmpty() || !event->preeditString().isEmpty())) {
        edit_.HandOver();
    }
    return false;
}

bool MessageView::MousePress(QMouseEvent* event) {
    event->accept();
    if (event->button() == Qt::MiddleButton && !edit_.isReadOnly() &&
        QGuiApplication::clipboard()->supportsSelection()) {
        edit_.HandOver();
        return false;
    }
    if (event->button() != Qt::LeftButton) {
        return true;
    }
    const std::size_t at = PositionAt(event->position().toPoint());
    const auto [from, to] = Selection();
    const bool shift = event->modifiers().testFlag(Qt::ShiftModifier);
    if (!shift && from < to && at >= from && at < to) {
        // Pressed in the selection: it may be dragged away.
        dragFrom_ = event->position().toPoint();
        return true;
    }
    selecting_ = true;
    wordSelecting_ = false;
    wantedX_ = -1;
    MoveCursor(at, shift);
    return true;
}

// The selection dragged out as the editor drags it: copied, or moved when the area is editable.
void MessageView::DragSelection() {
    const auto [from, to] = Selection();
    dragFrom_.reset();
    auto* drag = new QDrag(&edit_);
    drag->setMimeData(edit_.Copied(from, to));
    const Qt::DropActions actions = edit_.isReadOnly() ? Qt::CopyAction : Qt::CopyAction | Qt::MoveAction;
    const Qt::DropAction done = drag->exec(actions, Qt::CopyAction);
    // A drop into this area moved the text itself.
    if (done == Qt::MoveAction && drag->target() != &edit_ && drag->target() != edit_.viewport()) {
        edit_.HandOver();
        edit_.textCursor().removeSelectedText();
    }
}

void MessageView::MouseDoubleClick(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
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

void MessageView::MouseMove(QMouseEvent* event) {
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
    const bool outside = lastMouse_.y() < 0 || lastMouse_.y() > edit_.viewport()->height();
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

void MessageView::MouseRelease(QMouseEvent* event) {
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

void MessageView::ContextMenu(QContextMenuEvent* event) {
    // The editor's own menu, its actions bound to the view.
    QMenu* menu = edit_.createStandardContextMenu(event->pos());
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
            enabled = selection && !edit_.isReadOnly();
            run = [this] {
                edit_.HandOver();
                edit_.cut();
            };
        } else if (name == QLatin1String("edit-delete")) {
            enabled = selection && !edit_.isReadOnly();
            run = [this] {
                edit_.HandOver();
                edit_.textCursor().removeSelectedText();
            };
        } else if (name == QLatin1String("edit-paste")) {
            enabled = action->isEnabled();
            run = [this] {
                edit_.HandOver();
                edit_.paste();
            };
        } else {
            continue;
        }
        action->disconnect(&edit_);
        for (QObject* child : edit_.children()) {
            action->disconnect(child);
        }
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, [this, run] {
            if (active_) {
                run();
            }
        });
    }
    menu->popup(event->globalPos());
}

bool MessageView::DragEnter(QDragEnterEvent* event) {
    if (edit_.isReadOnly() || event->mimeData() == nullptr || !event->mimeData()->hasText()) {
        event->ignore();
        return true;
    }
    edit_.HandOver();
    return false;
}

void MessageView::Changed(const QEvent& event) {
    if (event.type() == QEvent::FontChange) {
        Rewrap();
    } else if (event.type() == QEvent::ReadOnlyChange) {
        RestartBlink();
    } else {
        edit_.viewport()->update();
    }
}

void MessageView::timerEvent(QTimerEvent* event) {
    if (event->timerId() == blink_.timerId()) {
        cursorOn_ = !cursorOn_;
        edit_.viewport()->update();
    } else if (event->timerId() == autoScroll_.timerId()) {
        if (held_ || !selecting_) {
            autoScroll_.stop();
            return;
        }
        QScrollBar* bar = edit_.verticalScrollBar();
        bar->setValue(bar->value() + (lastMouse_.y() < 0 ? -1 : 1));
        MoveCursor(PositionAt(lastMouse_), true);
    }
}

}  // namespace tavorin
