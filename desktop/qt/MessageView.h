#pragma once
// The message area's view of a large text of plain lines: a scroll area that paints the rows
// in sight straight from the area's text, where a reader scrolls, selects, copies and drags
// as in the editor, and which looks as the editor looks. It edits nothing: the first edit
// asks the area to hand the text over to the editor, at the view's place, and passes the
// event that began it on to the editor.

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QFont>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QTextOption>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "desktop/qt/TextRows.h"

class QPlainTextEdit;
class QTextLayout;

namespace tavorin {

class MessageView final : public QAbstractScrollArea {
    Q_OBJECT

public:
    // Shows `text`, which the area owns. The editor beside it gives the look to copy (its
    // margin, text option and cursor width), the context menu and the source of drags; the
    // area's handOver makes the editor show the text at Where().
    MessageView(const std::u16string& text, QPlainTextEdit& editor, std::function<void()> handOver,
                QWidget* parent = nullptr);

    bool Active() const noexcept { return active_; }
    // Shows the area's text from the top; false (and nothing changed) when only the editor can.
    bool Show();
    void Leave();
    // Keeps showing what it shows now, and takes no input, until shown again: the area's text
    // is about to change under the rows.
    void Hold();
    // Wraps again after a change of width or font, the same text on top.
    void Rewrap();

    void SetSecret(bool secret) noexcept { secret_ = secret; }
    void SetReadOnly(bool readOnly);
    bool IsReadOnly() const noexcept { return readOnly_; }

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
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void timerEvent(QTimerEvent* event) override;

private:
    // Hands the text over to the editor and passes the event on to it (or its viewport).
    void PassOn(QEvent* event, bool toViewport);
    void DragSelection();
    bool Move(QKeyEvent* event);
    std::size_t PageMove(bool down);
    void CopySelection(bool toSelection = false) const;
    void SelectEverything();
    void RestartBlink();

    qreal Margin() const;
    qreal TextWidth() const;
    void MeasureRows();
    void AdjustRows();
    std::size_t RowOf(std::size_t position) const;
    std::size_t RowStart(std::size_t row) const { return rows_[row]; }
    std::size_t RowEnd(std::size_t row) const;  // before its line end
    std::size_t LineStart(std::size_t position) const;
    std::size_t LineEnd(std::size_t position) const;
    bool LineGoesOn(std::size_t row) const;  // the next row belongs to the same line
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

    const std::u16string& text_;  // the area's
    QPlainTextEdit& editor_;
    std::function<void()> handOver_;
    bool active_ = false;
    bool held_ = false;
    bool secret_ = false;
    bool readOnly_ = false;
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
