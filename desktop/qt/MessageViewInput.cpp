// The view's input: keys, the mouse, the context menu and drags, as the editor takes them.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScrollBar>

#include <cmath>
#include <functional>

#include "desktop/qt/MessageText.h"
#include "desktop/qt/MessageView.h"

namespace tavorin {

void MessageView::CopySelection(bool toSelection) const {
    if (anchor_ == cursor_) {
        return;
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (toSelection && !clipboard->supportsSelection()) {
        return;
    }
    const auto [from, to] = Selection();
    clipboard->setMimeData(CopiedText(std::u16string_view(text_).substr(from, to - from), secret_),
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
    QScrollBar* bar = verticalScrollBar();
    const auto top = static_cast<std::size_t>(bar->value());
    const qreal margin = Margin();
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

void MessageView::keyPressEvent(QKeyEvent* event) {
    const bool control = (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) != 0;
    if ((event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) && !control) {
        event->ignore();  // moves the focus
        return;
    }
    if (held_) {
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
    if (readOnly_) {
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
    if (Move(event)) {
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
    PassOn(event, false);
}

void MessageView::inputMethodEvent(QInputMethodEvent* event) {
    if (held_ || readOnly_ || (event->commitString().isEmpty() && event->preeditString().isEmpty())) {
        event->accept();
        return;
    }
    PassOn(event, false);
}

QVariant MessageView::inputMethodQuery(Qt::InputMethodQuery query) const {
    return query == Qt::ImEnabled ? QVariant(!readOnly_) : QAbstractScrollArea::inputMethodQuery(query);
}

void MessageView::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (held_) {
        return;  // what shows is a picture of a text no longer there
    }
    if (event->button() == Qt::MiddleButton && !readOnly_ && QGuiApplication::clipboard()->supportsSelection()) {
        PassOn(event, true);
        return;
    }
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
void MessageView::DragSelection() {
    const auto [from, to] = Selection();
    dragFrom_.reset();
    // The editor is the source: a move into the area, handed over to it, moves its own selection.
    auto* drag = new QDrag(&editor_);
    drag->setMimeData(CopiedText(std::u16string_view(text_).substr(from, to - from), secret_));
    const Qt::DropActions actions = readOnly_ ? Qt::CopyAction : Qt::CopyAction | Qt::MoveAction;
    const Qt::DropAction done = drag->exec(actions, Qt::CopyAction);
    // A drop into this area moved the text itself.
    QObject* target = drag->target();
    const bool here = target == this || target == viewport() || target == &editor_ || target == editor_.viewport();
    if (done == Qt::MoveAction && !here) {
        handOver_();
        editor_.textCursor().removeSelectedText();
    }
}

void MessageView::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
    if (held_ || event->button() != Qt::LeftButton) {
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
}

void MessageView::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    if (held_) {
        return;
    }
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

void MessageView::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (held_) {
        return;
    }
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

void MessageView::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    if (held_) {
        return;
    }
    // The editor's own menu, its actions bound to the view.
    QMenu* menu = editor_.createStandardContextMenu(event->pos());
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
            enabled = selection && !readOnly_;
            run = [this] {
                handOver_();
                editor_.cut();
            };
        } else if (name == QLatin1String("edit-delete")) {
            enabled = selection && !readOnly_;
            run = [this] {
                handOver_();
                editor_.textCursor().removeSelectedText();
            };
        } else if (name == QLatin1String("edit-paste")) {
            enabled = action->isEnabled();
            run = [this] {
                handOver_();
                editor_.paste();
            };
        } else {
            continue;
        }
        action->disconnect(&editor_);
        for (QObject* child : editor_.children()) {
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

void MessageView::dragEnterEvent(QDragEnterEvent* event) {
    if (held_ || readOnly_ || event->mimeData() == nullptr || !event->mimeData()->hasText()) {
        event->ignore();
        return;
    }
    PassOn(event, true);
}

// While it is busy, the editor takes from the window the keys it edits with; so does the view.
bool MessageView::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride && active_ && !held_) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool plain = (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) == 0;
        if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::SelectAll) ||
            (plain && !key->text().isEmpty() && key->text().at(0).isPrint())) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

// The first edit of the viewed text: the editor takes it over and goes on with the event.
void MessageView::PassOn(QEvent* event, bool toViewport) {
    handOver_();
    QCoreApplication::sendEvent(toViewport ? editor_.viewport() : static_cast<QWidget*>(&editor_), event);
    event->accept();
}
}  // namespace tavorin
