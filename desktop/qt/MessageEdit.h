#pragma once
// The message area's editor: a QPlainTextEdit over the area's text, one shown character for
// each character of the text (MessageText.h), taking the user's edits into that text at the
// right places. Very long lines (a large envelope is one line of millions of characters) are
// shown in blocks of many visual lines, split where the line wraps anyway: one huge block
// would take the text layout seconds.

#include <QPlainTextEdit>

#include <cstddef>
#include <string>

namespace tavorin {

class MessageEdit final : public QPlainTextEdit {
    Q_OBJECT

public:
    static constexpr qsizetype LongLine = 4096;
    static constexpr int LinesPerBlock = 64;

    // Edits `text`, which the area owns and writes.
    explicit MessageEdit(std::u16string& text, QWidget* parent = nullptr);

    // Shows the text anew from the top, after a write.
    void Render();
    // Shows nothing while the view shows the text: the document holds none of it.
    void Drop();
    // Shows the text with this selection and the row holding `top` on top: the view's place.
    void Take(std::size_t anchor, std::size_t cursor, std::size_t top);

    // While held, the text may change under the document: it is not shown again until rendered.
    void SetHeld(bool held) noexcept { held_ = held; }

    // Copies out of the editor carry the password-manager hint while set.
    void SetSecret(bool secret) noexcept { secret_ = secret; }

    // Characters of the message font that fit one visual line.
    qsizetype CharsPerLine() const;

signals:
    // After every edit the user made.
    void Edited();
    // A paste too large to edit in place replaced part of the text: the area shows the text
    // anew, with the cursor after the paste.
    void Replaced(std::size_t cursor);

protected:
    QMimeData* createMimeDataFromSelection() const override;
    void insertFromMimeData(const QMimeData* source) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void SetDocument(const QString& shown);
    void OnContentsChange(int position, int removed, int added);
    void Resync();
    void RenderIfStale();
    qsizetype CheckedCharsPerLine(qsizetype guess, qsizetype firstBreak);

    std::u16string& text_;
    QString shown_;  // the document's characters, one per character of text_
    bool writing_ = false;
    bool dropped_ = false;
    bool held_ = false;
    bool secret_ = false;
    bool hasLongLine_ = false;
    bool measured_ = false;       // the long-line blocks were checked against the layout
    qsizetype estimate_ = 0;      // CharsPerLine() when they were made
    qsizetype charsPerLine_ = 0;  // what they were made with
};

}  // namespace tavorin
