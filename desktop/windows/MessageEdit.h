#pragma once
// The message area. It keeps the exact text that was written or typed and shows it in a
// QPlainTextEdit, one shown character per character of the text, so that reading back
// gives every character as written (control characters, CR LF, lone CR included) while the
// control shows something readable. Very long lines (a large envelope is one line of
// millions of characters) are shown in blocks of many visual lines, split where the line
// wraps anyway: one huge block would take the text layout seconds.

#include <QPlainTextEdit>

#include <string>
#include <string_view>

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

    explicit MessageEdit(QWidget* parent = nullptr);

    const std::u16string& Text() const noexcept { return text_; }
    void SetText(std::u16string_view text);

    // While held, writes are kept and the control shows them when released, once.
    void HoldDisplay(bool hold);
    bool DisplayHeld() const noexcept { return hold_; }

    // Copies out of the control carry the password-manager hint while set.
    void SetSecret(bool secret) noexcept { secret_ = secret; }

    // Characters of the message font that fit one visual line.
    qsizetype CharsPerLine() const;

signals:
    // After every write and every edit.
    void TextChanged();

protected:
    QMimeData* createMimeDataFromSelection() const override;
    void insertFromMimeData(const QMimeData* source) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void Render();
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
};

// The mime type clipboard managers read to leave a secret out of their history.
inline constexpr const char* PasswordManagerHint = "x-kde-passwordManagerHint";

}  // namespace tavorin
