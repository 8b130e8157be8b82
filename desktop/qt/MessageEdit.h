#pragma once
// The message area. It keeps the exact text that was written or typed and shows it in a
// QPlainTextEdit, one shown character per character of the text, so that reading back
// gives every character as written (control characters, CR LF, lone CR included) while the
// control shows something readable. Very long lines (a large envelope is one line of
// millions of characters) are shown in blocks of many visual lines, split where the line
// wraps anyway: one huge block would take the text layout seconds.
//
// A large text of plain lines is not put in a document at all: a MessageView shows it.

#include <QPlainTextEdit>

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "desktop/qt/MessageView.h"

namespace tavorin {

// How the text shows in the control: one character for each character of text. Line feeds
// become block breaks; other control characters their visible pictures; a CR before a LF
// an invisible mark. In lines longer than longLine, every linesPerBlock-th wrapped line
// that ends at a space ends its block there (charsPerLine: how many characters fit).
QString ShownText(std::u16string_view text, qsizetype charsPerLine = 0, int linesPerBlock = 0, qsizetype longLine = 0);
// The one character shown for text[i].
char16_t ShownChar(std::u16string_view text, std::size_t i);

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
    bool Viewing() const noexcept { return view_.Active(); }
    // The selection [from, to) and the cursor, in the text, wherever it is shown.
    std::pair<std::size_t, std::size_t> Selection() const;
    std::size_t CursorPosition() const;
    // Where a character shows on the screen, and which one shows at a point of the screen.
    QRect CharacterRect(std::size_t position) const;
    std::size_t OffsetAt(QPoint global) const;
    // Where the view's rows begin.
    const std::vector<std::size_t>& ViewRows() const noexcept { return view_.Rows(); }

signals:
    // After every write and every edit.
    void TextChanged();

protected:
    QMimeData* createMimeDataFromSelection() const override;
    void insertFromMimeData(const QMimeData* source) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    // The view takes the text back to the editor, copies as the editor copies, and scrolls
    // with keys as the editor does.
    friend class MessageView;

    void Holding();
    void Written();
    void Render();
    void RenderDocument();
    void DropDocument();
    void HandOver();
    QMimeData* Copied(std::size_t from, std::size_t to) const;
    void ScrollKey(QKeyEvent* event) { QAbstractScrollArea::keyPressEvent(event); }
    void OnContentsChange(int position, int removed, int added);
    void Resync();
    void RenderIfStale();
    qsizetype CheckedCharsPerLine(qsizetype guess, qsizetype firstBreak);

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
    std::size_t viewThreshold_ = ViewThreshold;
    MessageView view_{*this};
};

// The mime type clipboard managers read to leave a secret out of their history.
inline constexpr const char* PasswordManagerHint = "x-kde-passwordManagerHint";

}  // namespace tavorin
