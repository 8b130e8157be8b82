#pragma once
// The message area: one widget that keeps the exact text that was written or typed, and shows
// it in one of two parts. The editor (MessageEdit) shows it in a document the user edits; a
// large text of plain lines, which a document would take seconds to lay out, shows in the view
// (MessageView) instead, until the first edit hands it over to the editor at the same cursor,
// selection and top row.

#include <QRect>
#include <QWidget>

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class QAbstractScrollArea;

namespace tavorin {

class MessageEdit;
class MessageView;

class MessageArea final : public QWidget {
    Q_OBJECT

public:
    static constexpr std::size_t ViewThreshold = std::size_t{256} << 10;

    explicit MessageArea(QWidget* parent = nullptr);

    const std::u16string& Text() const noexcept { return text_; }
    void SetText(std::u16string_view text);
    // Keeps the caller's text itself: a large result is not copied again.
    void SetText(std::u16string&& text);
    void SetText(const char16_t* text) { SetText(std::u16string_view(text)); }
    // Hands the text over and leaves the area empty, for a caller that writes it anew at once
    // (no TextChanged: the length line waits for that write).
    std::u16string TakeText();

    // While held, writes are kept and the area shows them when released, once.
    void HoldDisplay(bool hold);
    bool DisplayHeld() const noexcept { return hold_; }

    void SetReadOnly(bool readOnly);
    bool IsReadOnly() const noexcept { return readOnly_; }
    // Copies out of the area carry the password-manager hint while set.
    void SetSecret(bool secret);

    // Texts of at least this many characters are shown in the view when they can be.
    void SetViewThreshold(std::size_t characters);
    bool Viewing() const noexcept;
    // The part that shows the text now: the editor or the view.
    QAbstractScrollArea& Shown() const;
    MessageEdit& Editor() const noexcept { return *edit_; }
    MessageView& View() const noexcept { return *view_; }
    // Where the view's rows begin.
    const std::vector<std::size_t>& ViewRows() const noexcept;

    // The selection [from, to) and the cursor, in the text, wherever it is shown.
    std::pair<std::size_t, std::size_t> Selection() const;
    std::size_t CursorPosition() const;
    // Where a character shows on the screen, and which one shows at a point of the screen.
    QRect CharacterRect(std::size_t position) const;
    std::size_t OffsetAt(QPoint global) const;

    // Lets `filter` see the events of both parts first (the window's shortcut keys).
    void InstallKeyFilter(QObject* filter);

signals:
    // After every write and every edit.
    void TextChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Holding();
    void Written();
    void Render();
    void HandOver();
    void ShowPart(QAbstractScrollArea& part);

    std::u16string text_;
    bool hold_ = false;
    bool pending_ = false;
    bool readOnly_ = false;
    std::size_t viewThreshold_ = ViewThreshold;
    MessageEdit* edit_ = nullptr;
    MessageView* view_ = nullptr;
};

}  // namespace tavorin
