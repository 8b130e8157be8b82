// The shared command tests' driver of the Qt main window: widgets found by object name.
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>

#include "../window/WindowDriver.h"
#include "WindowTest.h"
#include "desktop/qt/LabelButton.h"
#include "desktop/qt/MessageArea.h"
#include "desktop/qt/MessageEdit.h"
#include "desktop/qt/MessageText.h"
#include "desktop/qt/Text.h"

namespace tavorin::testing {

namespace {

MessageIcon IconOf(QMessageBox::Icon icon) {
    switch (icon) {
    case QMessageBox::Warning:
        return MessageIcon::Exclamation;
    case QMessageBox::Critical:
        return MessageIcon::Critical;
    case QMessageBox::Information:
        return MessageIcon::Information;
    default:
        return MessageIcon::None;
    }
}

class QtDriver final : public WindowDriver, public QObject {
public:
    QtDriver() {
        QGuiApplication::clipboard()->clear();
        window_ = std::make_unique<frmMain>(desktop_);
        window_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        watcher_.onBox = [this](QMessageBox&) {
            Record();
            if (onBox) {
                onBox();
            }
        };
    }

    MainForm& Window() override { return *window_; }

    void Click(const char* name) override { QTest::mouseClick(Child<LabelButton>(name), Qt::LeftButton); }

    void Choose(std::u16string_view cipher) override {
        auto* list = Child<QComboBox>("cboEncryption");
        list->setCurrentIndex(list->findText(ToQString(cipher)));
    }

    void SetKey(std::u16string_view key) override {
        auto* field = Child<QLineEdit>("txtEncKey");
        field->clear();
        bool ascii = true;
        for (const char16_t c : key) {
            ascii = ascii && c >= 0x20 && c < 0x7f;
        }
        if (ascii) {
            QTest::keyClicks(field, ToQString(key));  // typed, as a user does
        } else {
            field->insert(ToQString(key));  // the test library types ASCII only
        }
    }

    void TypeMessage(std::u16string_view text) override { window_->SetMessageText(text); }

    void Paste() override {
        auto* area = Child<MessageArea>("txtMessage");
        area->setFocus();
        area->Editor().paste();
    }

    void ChooseMenu(const char* name) override { window_->findChild<QAction*>(QString::fromLatin1(name))->trigger(); }

    std::u16string LabelText(const char* name) override { return ToU16(Child<QLabel>(name)->text()); }

    void Focus(const char* name) override { Child<QWidget>(name)->setFocus(); }

    bool HasFocus(const char* name) override { return window_->focusWidget() == Child<QWidget>(name); }

    std::u16string Clipboard(bool* secret) override {
        if (secret != nullptr) {
            const QMimeData* data = QGuiApplication::clipboard()->mimeData();
            *secret = data != nullptr && data->data(QString::fromLatin1(PasswordManagerHint)) == QByteArray("secret");
        }
        return ToU16(QGuiApplication::clipboard()->text());
    }

    void SetClipboard(std::u16string_view text) override { QGuiApplication::clipboard()->setText(ToQString(text)); }

    bool Busy() override { return window_->Busy(); }

    bool BusyPointer() override { return QGuiApplication::overrideCursor() != nullptr; }

    void RequestClose() override { window_->close(); }

    bool Closed() override { return !window_->isVisible(); }

    const std::vector<Box>& Boxes() override {
        Record();
        return boxes_;
    }

    void WatchProgress() override {
        shown_ = 0;
        painted_ = 0;
        Child<QProgressBar>("prgWork")->installEventFilter(this);
    }
    int ProgressShown() override { return shown_; }
    int ProgressPainted() override { return painted_; }
    bool ProgressVisible() override { return Child<QProgressBar>("prgWork")->isVisible(); }
    void SetProgressDelay(int ms) override { window_->SetProgressDelay(ms); }
    std::size_t LargeSize() override { return std::size_t{4} << 20; }  // an envelope of 12 MiB on one line

    // The area shows the envelope without a document and stays editable: the first key hands
    // it to the editor, in blocks, and characters typed at the start land exactly there.
    void CheckLargeEnvelope(const std::u16string& envelope) override {
        EXPECT_GE(painted_, 2);
        auto* area = Child<MessageArea>("txtMessage");
        EXPECT_TRUE(area->Viewing());
        area->setFocus();
        QTest::keyClick(&area->Shown(), Qt::Key_Delete);
        EXPECT_FALSE(area->Viewing());
        EXPECT_GT(area->Editor().document()->blockCount(), 100);
        QTest::keyClick(&area->Shown(), Qt::Key_Delete);
        QTest::keyClick(&area->Shown(), Qt::Key_Delete);
        EXPECT_EQ(window_->MessageText(), envelope.substr(3));
        QTest::keyClicks(&area->Shown(), ToQString(envelope.substr(0, 3)));
        EXPECT_EQ(window_->MessageText(), envelope);
    }

    bool eventFilter(QObject*, QEvent* event) override {
        shown_ += event->type() == QEvent::Show;
        painted_ += event->type() == QEvent::Paint;
        return false;
    }

private:
    template <class T>
    T* Child(const char* name) const {
        return ChildOf<T>(window_.get(), name);
    }

    // The watcher's boxes not yet taken over.
    void Record() {
        for (std::size_t i = boxes_.size(); i < watcher_.boxes.size(); ++i) {
            const SeenBox& seen = watcher_.boxes[i];
            boxes_.push_back({ToU16(seen.text), IconOf(seen.icon), ToU16(seen.title), seen.busyPointer});
        }
    }

    FakeDesktop desktop_;
    std::unique_ptr<frmMain> window_;
    BoxWatcher watcher_;
    std::vector<Box> boxes_;
    int shown_ = 0;
    int painted_ = 0;
};

}  // namespace

std::unique_ptr<WindowDriver> MakeDriver() { return std::make_unique<QtDriver>(); }

}  // namespace tavorin::testing
