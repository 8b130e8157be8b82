#pragma once
// What the window tests share: a desktop that records instead of opening anything, a
// handler that reads and closes message boxes as they appear, and a shown main window.

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "desktop/qt/Platform.h"
#include "desktop/qt/frmMain.h"

// Readable failure messages for Qt strings.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* out) { *out << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace tavorin::testing {

// A widget of the window by its object name; a missing one fails the test that asked.
template <class T>
T* ChildOf(const QObject* window, const char* name) {
    T* child = window->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

class FakeStore final : public ToolStore {
public:
    std::map<std::pair<QString, QString>, QString> values;

    std::optional<QString> Query(KeyRoot root, const QString& keyName, const QString& valueName) const override {
        if (root != KeyRoot::LocalMachine) {
            return std::nullopt;
        }
        const auto found = values.find({keyName, valueName});
        if (found == values.end()) {
            return std::nullopt;
        }
        return found->second;
    }
};

class FakeDesktop final : public Desktop {
public:
    std::vector<QString> opened;
    std::vector<QString> started;
    std::vector<QString> existing;  // files that exist
    bool startSucceeds = true;
    FakeStore store;

    void OpenAddress(const QString& address) override { opened.push_back(address); }
    bool StartProgram(const QString& path) override {
        started.push_back(path);
        return startSucceeds;
    }
    bool FileExists(const QString& path) override {
        return std::find(existing.begin(), existing.end(), path) != existing.end();
    }
    const ToolStore& Tools() override { return store; }
};

struct SeenBox {
    QString text;
    QMessageBox::Icon icon;
    QString title;
    bool busyPointer;  // the busy pointer was on while the box showed
};

// Reads every message box that appears and presses its OK button. onBox runs first, while
// the box is still open (the command that showed it is suspended in it).
class BoxWatcher : public QObject {
public:
    std::vector<SeenBox> boxes;
    std::function<void(QMessageBox&)> onBox;

    BoxWatcher() {
        timer_.setInterval(2);
        connect(&timer_, &QTimer::timeout, this, &BoxWatcher::Poll);
        timer_.start();
    }

    std::size_t Count() const { return boxes.size(); }
    const SeenBox& Last() const { return boxes.back(); }

private:
    void Poll() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box == nullptr || !box->isVisible() || box->property("seen").toBool()) {
                continue;
            }
            box->setProperty("seen", true);
            boxes.push_back(
                {box->text(), box->icon(), box->windowTitle(), QGuiApplication::overrideCursor() != nullptr});
            if (onBox) {
                onBox(*box);
            }
            box->button(QMessageBox::Ok)->click();
        }
    }

    QTimer timer_;
};

// A shown main window over a fake desktop.
class MainWindowTest : public ::testing::Test {
protected:
    FakeDesktop desktop;
    std::unique_ptr<frmMain> window;

    void SetUp() override {
        QGuiApplication::clipboard()->clear();
        window = std::make_unique<frmMain>(desktop);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    void TearDown() override { window.reset(); }

    template <class T>
    T* Child(const char* name) const {
        return ChildOf<T>(window.get(), name);
    }

    // The offscreen platform has no window manager to give the focus back after a box.
    void Reactivate() {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    // Selects the cipher by its line in the list, as a user does.
    void Choose(const QString& cipher);
    void Click(const char* name);
    void SetKey(const QString& key);
    void TypeMessage(const QString& text);
    QString Status() const;
    QString LengthLine() const;
    // The cipher entries whose engine this build has.
    std::vector<QString> AvailableCiphers() const;
};

}  // namespace tavorin::testing
