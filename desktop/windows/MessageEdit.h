#pragma once
// The message area. It keeps the exact text that was written or typed and shows it in a
// QPlainTextEdit, one shown character per character of the text, so that reading back
// gives every character as written (control characters, CR LF, lone CR included) while the
// control shows something readable. Very long lines (a large envelope is one line of
// millions of characters) are shown in blocks of many visual lines, split where the line
// wraps anyway: one huge block would take the text layout seconds.
//
// A large text of plain lines is not put in a document at all: the area paints the rows in
// sight straight from the text, and a reader scrolls, selects and copies there. The first edit
// hands the text to the editor, at the same cursor and selection, and editing goes on there.

#include <QBasicTimer>
#include <QPixmap>
#include <QPlainTextEdit>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "desktop/windows/TextRows.h"

class QTextLayout;

namespace tavorin {

// How the text shows in the control: one character for each character of text. Line feeds
// become block breaks; other control characters their visible pictures; a CR before a LF
// an invisible mark. In lines longer than longLine, every linesPerBlock-th wrapped line
// that ends at a space ends its block there (charsPerLine: how many characters fit).
QString ShownText(std::u16string_view text, qsizetype charsPerLine = 0, int linesPerBlock = 0, qsizetype longLine = 0);

// The text that shown characters typed or pasted by the user stand for: the inverse of
// ShownText for every character it changes.
std::u16string FromShown(QStringView shown);

class MessageEdit final : public QPlainTextEdit {
    Q_OBJECT

public:
    static constexpr qsizetype LongLine = 4096;
    static constexpr int LinesPerBlock = 64;
    static constexpr std::size_t ViewThreshold = std::size_t{256} << 10;

    explicit MessageEdit(QWidget* parent = nullptr);

    const std::u16string& Text() const noexcept { return text_; }
    void SetText(std::u16string_view text);
    // Keeps the caller's text itself: a large result is not copied again.
    void SetText(std::u16string&& text);
    void SetText(const char16_t* text) { SetText(std::u16string_view(text)); }
    // Hands the text over and leaves the area empty, for a caller that writes it anew at once
    // (no TextChanged: the length line waits for that write).
    std::u16string TakeText();

    // While held, writes are kept and the control shows them when released, once.
    void HoldDisplay(bool hold);
    bool DisplayHeld() const noexcept { return hold_; }

    // Copies out of the control carry the password-manager hint while set.
    void SetSecret(bool secret) noexcept { secret_ = secret; }

    // Characters of the message font that fit one visual line.
    qsizetype CharsPerLine() const;

    // Texts of at least this many characters are shown without a document when they can be.
    void SetViewThreshold(std::size_t characters);
    bool Viewing() const noexcept { return viewing_; }
    // The selection [from, to) and the cursor, in the text, wherever it is shown.
    std::pair<std::size_t, std::size_t> Selection() const;
    std::size_t CursorPosition() const;
    // Where a character shows on the screen, and which one shows at a point of the screen.
    QRect CharacterRect(std::size_t position) const;
    std::size_t OffsetAt(QPoint global) const;
    // Where the view's rows begin.
    const std::vector<std::size_t>& ViewRows() const noexcept { return rows_; }

signals:
    // After every write and every edit.
    void TextChanged();

protected:
    QMimeData* createMimeDataFromSelection() const override;
    void insertFromMimeData(const QMimeData* source) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void Holding();
    void Written();
    void Render();
    void RenderDocument();
    QMimeData* Copied(std::size_t from, std::size_t to) const;
    void OnContentsChange(int position, int removed, int added);
    void Resync();
    void RenderIfStale();
    qsizetype CheckedCharsPerLine(qsizetype guess, qsizetype firstBreak);

    // The view of a large text.
    void MeasureRows();
    bool EnterView();
    void LeaveView();
    void HandOver();
    void Rewrap();
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
    bool ViewMove(QKeyEvent* event);
    std::size_t PageMove(bool down);
    void CopySelection(bool toSelection = false) const;
    void SelectEverything();
    void RestartBlink();
    void DragSelection();

    std::u16string text_;
    QString shown_;  // the document's characters, one per character of text_
    bool hold_ = false;
    bool pending_ = false;
    bool writing_ = false;
    bool secret_ = false;
    bool hasLongLine_ = false;
    bool measured_ = false;       // the long-line blocks were checked against the layout
    qsizetype estimate_ = 0;      // CharsPerLine() when they were made
    qsizetype charsPerLine_ = 0;  // what they were made with

    bool viewing_ = false;
    std::size_t viewThreshold_ = ViewThreshold;
    std::vector<std::size_t> rows_;  // where each row of the view begins
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
    QPixmap held_;  // what the view showed when a held write replaced its text
};

// The mime type clipboard managers read to leave a secret out of their history.
inline constexpr const char* PasswordManagerHint = "x-kde-passwordManagerHint";

}  // namespace tavorin
