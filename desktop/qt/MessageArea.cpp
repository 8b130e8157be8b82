#include "desktop/qt/MessageArea.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QFontDatabase>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTextCursor>

#include <algorithm>

#include "base/Memory.h"
#include "desktop/qt/MessageEdit.h"
#include "desktop/qt/MessageView.h"
#include "desktop/qt/Text.h"

namespace tavorin {

namespace {

// What assistive technology reads of the area, of its editor and of its view: the text itself
// (not the characters shown for it), with the cursor and selection of the part that shows it.
class MessageAccessible final : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    MessageAccessible(QWidget* widget, const MessageArea& area)
        : QAccessibleWidget(widget, QAccessible::EditableText), area_(area) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::TextInterface ? static_cast<QAccessibleTextInterface*>(this)
                                                  : QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text kind) const override {
        return kind == QAccessible::Value ? ToQString(area_.Text()) : QAccessibleWidget::text(kind);
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = area_.IsReadOnly();
        state.editable = !state.readOnly;
        state.multiLine = true;
        state.selectableText = true;
        return state;
    }

    void selection(int index, int* start, int* end) const override {
        const auto [from, to] = area_.Selection();
        *start = index == 0 && from != to ? static_cast<int>(from) : 0;
        *end = index == 0 && from != to ? static_cast<int>(to) : 0;
    }
    int selectionCount() const override {
        const auto [from, to] = area_.Selection();
        return from != to ? 1 : 0;
    }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return static_cast<int>(area_.CursorPosition()); }
    void setCursorPosition(int) override {}
    QString text(int startOffset, int endOffset) const override {
        const std::u16string& all = area_.Text();
        const auto from = std::min<std::size_t>(static_cast<std::size_t>(std::max(startOffset, 0)), all.size());
        const auto to = std::clamp<std::size_t>(static_cast<std::size_t>(std::max(endOffset, 0)), from, all.size());
        return ToQString(std::u16string_view(all).substr(from, to - from));
    }
    int characterCount() const override { return static_cast<int>(area_.Text().size()); }
    QRect characterRect(int offset) const override {
        return area_.CharacterRect(static_cast<std::size_t>(std::clamp(offset, 0, characterCount())));
    }
    int offsetAtPoint(const QPoint& point) const override { return static_cast<int>(area_.OffsetAt(point)); }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override {
        *startOffset = offset;
        *endOffset = offset;
        return {};
    }

private:
    const MessageArea& area_;
};

QAccessibleInterface* MessageAccessibility(const QString&, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget == nullptr) {
        return nullptr;
    }
    if (auto* area = qobject_cast<MessageArea*>(widget)) {
        return new MessageAccessible(widget, *area);
    }
    if (qobject_cast<MessageEdit*>(widget) != nullptr || qobject_cast<MessageView*>(widget) != nullptr) {
        if (auto* area = qobject_cast<MessageArea*>(widget->parentWidget())) {
            return new MessageAccessible(widget, *area);
        }
    }
    return nullptr;
}

// A part that was hidden has not laid out its viewport for its size yet: it does so now, so
// that what it measures is what it will show.
void Settle(QWidget& part) {
    if (part.testAttribute(Qt::WA_PendingResizeEvent)) {
        QResizeEvent resized(part.size(), QSize());
        QApplication::sendEvent(&part, &resized);
        part.setAttribute(Qt::WA_PendingResizeEvent, false);
    }
}

}  // namespace

MessageArea::MessageArea(QWidget* parent) : QWidget(parent) {
    static const bool accessible = [] {
        QAccessible::installFactory(MessageAccessibility);
        return true;
    }();
    (void)accessible;
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSize(9);
    setFont(mono);
    edit_ = new MessageEdit(text_, this);
    view_ = new MessageView(
        text_, *edit_, [this] { HandOver(); }, this);
    view_->hide();
    setFocusProxy(edit_);
    connect(edit_, &MessageEdit::Edited, this, &MessageArea::TextChanged);
    connect(edit_, &MessageEdit::Replaced, this, [this](std::size_t cursor) {
        Render();
        if (!Viewing()) {
            QTextCursor end = edit_->textCursor();
            end.setPosition(static_cast<int>(cursor));
            edit_->setTextCursor(end);
            edit_->ensureCursorVisible();
        }
    });
}

void MessageArea::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    edit_->setGeometry(rect());
    view_->setGeometry(rect());
}

void MessageArea::SetText(std::u16string_view text) {
    Holding();
    if (text.size() > text_.capacity()) {
        std::u16string room;
        room.reserve(text.size());
        // Mapped in one call rather than a fault a page.
        PrefaultPages(room.data(), text.size() * sizeof(char16_t));
        text_.swap(room);
    }
    text_.assign(text);
    Written();
}

void MessageArea::SetText(std::u16string&& text) {
    Holding();
    text_ = std::move(text);
    Written();
}

std::u16string MessageArea::TakeText() {
    Holding();
    std::u16string taken = std::move(text_);
    text_.clear();
    if (hold_) {
        pending_ = true;
    } else {
        Render();
    }
    return taken;
}

// The view paints from the text itself: a held write keeps a picture of what it showed,
// and the view takes no input until the write is shown.
void MessageArea::Holding() {
    if (hold_ && !pending_ && Viewing()) {
        view_->Hold();
    }
}

void MessageArea::Written() {
    if (hold_) {
        pending_ = true;
    } else {
        Render();
    }
    emit TextChanged();
}

void MessageArea::HoldDisplay(bool hold) {
    hold_ = hold;
    edit_->SetHeld(hold);
    if (!hold_ && pending_) {
        Render();
    }
}

void MessageArea::Render() {
    pending_ = false;
    if (text_.size() >= viewThreshold_) {
        Settle(*view_);
        if (view_->Show()) {
            // Emptied before the view shows: the document holds none of the text.
            edit_->Drop();
            ShowPart(*view_);
            return;
        }
    }
    view_->Leave();
    ShowPart(*edit_);
    Settle(*edit_);
    edit_->Render();
}

// The first edit of a viewed text: the editor takes it at the same selection and top row.
void MessageArea::HandOver() {
    if (!Viewing()) {
        return;
    }
    const MessageView::Place place = view_->Where();
    view_->Leave();
    ShowPart(*edit_);
    Settle(*edit_);
    edit_->Take(place.anchor, place.cursor, place.top);
}

void MessageArea::ShowPart(QAbstractScrollArea& part) {
    QAbstractScrollArea& other = &part == edit_ ? static_cast<QAbstractScrollArea&>(*view_) : *edit_;
    if (!other.isHidden() || part.isHidden()) {
        // The window's focus stays in the area, active window or not.
        const bool hadFocus = other.hasFocus() || window()->focusWidget() == &other;
        part.show();
        setFocusProxy(&part);
        if (hadFocus) {
            part.setFocus();
        }
        other.hide();
    }
}

void MessageArea::SetReadOnly(bool readOnly) {
    readOnly_ = readOnly;
    edit_->setReadOnly(readOnly);
    view_->SetReadOnly(readOnly);
}

void MessageArea::SetSecret(bool secret) {
    edit_->SetSecret(secret);
    view_->SetSecret(secret);
}

void MessageArea::SetViewThreshold(std::size_t characters) { viewThreshold_ = characters; }

bool MessageArea::Viewing() const noexcept { return view_->Active(); }

QAbstractScrollArea& MessageArea::Shown() const {
    return Viewing() ? static_cast<QAbstractScrollArea&>(*view_) : *edit_;
}

const std::vector<std::size_t>& MessageArea::ViewRows() const noexcept { return view_->Rows(); }

std::pair<std::size_t, std::size_t> MessageArea::Selection() const {
    if (Viewing()) {
        return view_->Selection();
    }
    const QTextCursor cursor = edit_->textCursor();
    return {static_cast<std::size_t>(cursor.selectionStart()), static_cast<std::size_t>(cursor.selectionEnd())};
}

std::size_t MessageArea::CursorPosition() const {
    return Viewing() ? view_->CursorPosition() : static_cast<std::size_t>(edit_->textCursor().position());
}

QRect MessageArea::CharacterRect(std::size_t position) const {
    QRect rect;
    if (Viewing()) {
        rect = view_->CharacterRect(position);
    } else {
        QTextCursor cursor(edit_->document());
        cursor.setPosition(static_cast<int>(position));
        rect = edit_->cursorRect(cursor);
        rect.setWidth(edit_->fontMetrics().horizontalAdvance(QLatin1Char('0')));
    }
    const QWidget* viewport = Shown().viewport();
    return QRect(viewport->mapToGlobal(rect.topLeft()), rect.size());
}

std::size_t MessageArea::OffsetAt(QPoint global) const {
    const QPoint point = Shown().viewport()->mapFromGlobal(global);
    return Viewing() ? view_->OffsetAt(point) : static_cast<std::size_t>(edit_->cursorForPosition(point).position());
}

void MessageArea::InstallKeyFilter(QObject* filter) {
    edit_->installEventFilter(filter);
    view_->installEventFilter(filter);
}

}  // namespace tavorin
