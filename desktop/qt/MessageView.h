#pragma once
// The message area's view of a large text of plain lines: it paints the rows in sight straight
// from the area's text, and a reader scrolls, selects, copies and drags there, as in the editor.
// While it shows, it takes the input of the area and of its viewport; the first edit hands the
// text over to the editor, at the same cursor and selection, and the view steps aside.

#include <QBasicTimer>
#include <QFont>
#include <QMouseEvent>
#include <QObject>
#include <QPixmap>
#include <QPoint>
#include <QRect>

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "desktop/qt/TextRows.h"

class QTextLayout;

namespace tavorin {

class MessageEdit;

class MessageView final : public QObject {
public:
    explicit MessageView(MessageEdit& edit);

    bool Active() const noexcept { return active_; }
    // Shows the area's text from the top; false (and nothing changed) when only the editor can.
    bool Show();
    void Leave();
    // Keeps showing what it shows now, and takes no input, until shown again: the area's text
    // is about to change under the rows.
    void Hold();
    // Wraps again after a change of width or font, the same text on top.
    void Rewrap();
    // After a change of the area's font, palette, state...
    void Changed(const QEvent& event);

    std::pair<std::size_t, std::size_t> Selection() const {
        return {std::min(anchor_, cursor_), std::max(anchor_, cursor_)};
    }
    std::size_t CursorPosition() const noexcept { return cursor_; }
    // Where the selection and the top row are, for the editor taking over.
    struct Place {
        std::size_t anchor = 0;
        std::size_t cursor = 0;
        std::size_t top = 0;
    };
    Place Where() const;
    // In the viewport's coordinates; nothing while held.
    QRect CharacterRect(std::size_t position) const;
    std::size_t OffsetAt(QPoint point) const { return held_ ? 0 : PositionAt(point); }
    const std::vector<std::size_t>& Rows() const noexcept { return rows_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void Paint(const QRect& area);
    bool KeyPress(QKeyEvent* event);
    bool InputMethod(QInputMethodEvent* event);
    bool MousePress(QMouseEvent* event);
    void MouseMove(QMouseEvent* event);
    void MouseRelease(QMouseEvent* event);
    void MouseDoubleClick(QMouseEvent* event);
    void ContextMenu(QContextMenuEvent* event);
    bool DragEnter(QDragEnterEvent* event);

    void MeasureRows();
    void AdjustRows();
    std::size_t RowOf(std::size_t position) const;
    std::size_t RowStart(std::size_t row) const { return rows_[row]; }
    std::size_t RowEnd(std::size_t row) const;  // before its line end
    std::size_t LineStart(std::size_t position) const;
    std::size_t LineEnd(std::size_t position) const;
    qreal RowY(std::size_t row) const;
    std::size_t RowAt(qreal y) const;
    std::size_t PositionAt(QPoint point) const;
    std::size_t VisibleRows() const;
    std::size_t LayRows(QTextLayout& layout, std::size_t first, std::size_t last) const;
    static int LaidOut(const QTextLayout& layout, std::size_t from, std::size_t position);
    qreal CursorX(std::size_t position) const;
    std::size_t PositionInRow(std::size_t row, qreal x) const;
    void MoveCursor(std::size_t position, bool keepAnchor);
    void ShowRow(std::size_t row);
    bool Move(QKeyEvent* event);
    std::size_t PageMove(bool down);
    void CopySelection(bool toSelection = false) const;
    void SelectEverything();
    void RestartBlink();
    void DragSelection();

    MessageEdit& edit_;
    const std::u16string& text_;  // the area's
    bool active_ = false;
    bool held_ = false;
    QPixmap heldPicture_;
    std::vector<std::size_t> rows_;  // where each row begins
    RowFits fits_{};
    qreal fitsWidth_ = -1;  // what fits_ was measured for
    QFont fitsFont_;
    qreal rowHeight_ = 1;
    std::size_t anchor_ = 0;
    std::size_t cursor_ = 0;
    qreal wantedX_ = -1;  // kept through up and down moves
    bool cursorOn_ = true;
    bool selecting_ = false;
    bool wordSelecting_ = false;
    std::pair<std::size_t, std::size_t> clickedWord_{0, 0};
    QPoint lastMouse_;
    std::optional<QPoint> dragFrom_;  // pressed in the selection here
    QBasicTimer blink_;
    QBasicTimer autoScroll_;
};

}  // namespace tavorin
