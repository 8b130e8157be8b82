// Encrypt and Decrypt through the real widgets: round trips for every engine, the failure
// boxes as they appear, re-entry while a command runs, and large messages.
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QRegularExpression>

#include "WindowTest.h"
#include "desktop/qt/LabelButton.h"
#include "desktop/qt/MessageArea.h"
#include "desktop/qt/MessageEdit.h"
#include "desktop/qt/MessageText.h"
#include "desktop/qt/Text.h"
#include "engines/Registry.h"
#include "envelope/Envelope.h"

using namespace tavorin;
using namespace tavorin::testing;

namespace {

class Commands : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        if (AvailableCiphers().empty()) {
            GTEST_SKIP() << "no engine in this build";
        }
    }

    // Encrypt -> Copy Text -> Clear -> paste -> Decrypt, as a user does it.
    void RoundTrip(const QString& cipher, const QString& message, const QString& key) {
        SCOPED_TRACE(cipher.toStdString());
        BoxWatcher boxes;
        Choose(cipher);
        SetKey(key);
        TypeMessage(message);
        Click("lblEncrypt");
        ASSERT_EQ(boxes.Count(), 0u) << boxes.Last().text.toStdString();
        EXPECT_EQ(Status(), QStringLiteral("Results: Message encrypted with %1 with 1 passes").arg(cipher));
        const QString envelope = ToQString(window->MessageText());
        static const QRegularExpression shape(QStringLiteral("^[0-9A-F]{2}( [0-9A-F]{2})*$"));
        EXPECT_TRUE(shape.match(envelope).hasMatch());
        const qsizetype pairs = (envelope.size() + 1) / 3;
        EXPECT_EQ(LengthLine(), QStringLiteral("Length: %1").arg(3 * pairs - 1));
        EXPECT_EQ(QGuiApplication::clipboard()->text(), QString());  // emptied by Encrypt
        EXPECT_FALSE(window->Busy());

        Click("lblCopyText");
        EXPECT_EQ(QGuiApplication::clipboard()->text(), envelope);
        // The envelope is meant to be kept: no secret mark on it.
        EXPECT_FALSE(QGuiApplication::clipboard()->mimeData()->hasFormat(QString::fromLatin1(PasswordManagerHint)));
        Click("lblClear");
        EXPECT_EQ(window->MessageText(), u"");
        auto* area = Child<MessageArea>("txtMessage");
        area->setFocus();
        area->Editor().paste();
        EXPECT_EQ(ToQString(window->MessageText()), envelope);
        SetKey(key);
        Click("lblDecrypt");
        ASSERT_EQ(boxes.Count(), 0u) << boxes.Last().text.toStdString();
        EXPECT_EQ(ToQString(window->MessageText()), message);
        EXPECT_EQ(Status(), QStringLiteral("Results: Message decrypted with %1 with 1 passes").arg(cipher));
        EXPECT_EQ(QGuiApplication::clipboard()->text(), QString());
        EXPECT_EQ(LengthLine(), QStringLiteral("Length: %1").arg(message.size()));

        // Decrypted text copied out carries the secret mark.
        Click("lblCopyText");
        EXPECT_EQ(QGuiApplication::clipboard()->text(), message);
        EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->data(QString::fromLatin1(PasswordManagerHint)),
                  QByteArray("secret"));
    }

    // Encrypts message with the first available cipher; returns the envelope.
    QString Envelope(const QString& message, const QString& key) {
        BoxWatcher boxes;
        Choose(AvailableCiphers().front());
        SetKey(key);
        TypeMessage(message);
        Click("lblEncrypt");
        EXPECT_EQ(boxes.Count(), 0u);
        return ToQString(window->MessageText());
    }
};

}  // namespace

TEST_F(Commands, EveryEngineRoundTripsThroughTheWidgets) {
    const QString message =
        QStringLiteral("Dear Ann,\r\nthe meeting is at 10:00 \u2013 bring \u20ac50.\r\n\tBob\x01\x7f\u00ff");
    for (const QString& cipher : AvailableCiphers()) {
        RoundTrip(cipher, message, QStringLiteral("correct horse \u00e9"));
        RoundTrip(cipher, QStringLiteral("x"), QStringLiteral("k"));
    }
}

// What the window adds to the commands' refusals (their logic is tested over a recording
// window): each box with the icon and title the command asked for (no title: the program's),
// a CR LF in its text as one line break, answered with the ordinary pointer; the focus and the
// clipboard the command touched are the real ones.
TEST_F(Commands, RefusalsShowAsBoxesOfTheirKind) {
    const QString envelope = Envelope(QStringLiteral("a message of some length"), QStringLiteral("key"));
    const QString wrongKey = ToQString(Engine::WrongKeyText).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    struct Case {
        QString message;
        QString key;
        const char* command;
        QMessageBox::Icon icon;
        QString title;
        QString text;  // how it begins
        bool clipboardEmptied;
    };
    const Case cases[] = {
        {QStringLiteral("hello"), QString(), "lblEncrypt", QMessageBox::NoIcon, QStringLiteral("Tavorin"),
         QStringLiteral("You must enter a key"), false},
        {QStringLiteral("just words"), QStringLiteral("key"), "lblDecrypt", QMessageBox::NoIcon,
         QStringLiteral("Error"), QStringLiteral("Cannot decrypt text any further"), false},
        // The last pairs missing: the digest does not match, and everything is emptied.
        {envelope.left(envelope.size() - 6), QStringLiteral("key"), "lblDecrypt", QMessageBox::NoIcon,
         QStringLiteral("Tavorin"),
         QStringLiteral("Message Authentication failed.\nMake sure full message has been entered before decrypting"),
         true},
        // Fewer than 64 characters after decoding: the general error.
        {envelope.left(3 * 10 - 1), QStringLiteral("key"), "lblDecrypt", QMessageBox::Warning, QStringLiteral("Error"),
         QStringLiteral("An error has occurred\nErr: 5\n"), false},
        {envelope, QStringLiteral("wrong"), "lblDecrypt", QMessageBox::Critical, QStringLiteral("Key"), wrongKey,
         false},
    };
    BoxWatcher boxes;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        QGuiApplication::clipboard()->setText(QStringLiteral("clip"));
        TypeMessage(c.message);
        SetKey(c.key);
        Child<QComboBox>("cboEncryption")->setFocus();
        const std::size_t before = boxes.Count();
        Click(c.command);
        ASSERT_EQ(boxes.Count(), before + 1);
        EXPECT_TRUE(boxes.Last().text.startsWith(c.text)) << boxes.Last().text.toStdString();
        EXPECT_EQ(boxes.Last().icon, c.icon);
        EXPECT_EQ(boxes.Last().title, c.title);
        EXPECT_FALSE(boxes.Last().busyPointer);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), c.clipboardEmptied ? QString() : QStringLiteral("clip"));
        EXPECT_EQ(LengthLine(), QStringLiteral("Length: %1").arg(window->MessageText().size()));
        EXPECT_FALSE(window->Busy());
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    }
    // The empty key put the focus in the real key field.
    TypeMessage(QStringLiteral("hello"));
    SetKey(QString());
    Child<QComboBox>("cboEncryption")->setFocus();
    Click("lblEncrypt");
    EXPECT_EQ(window->focusWidget(), Child<QLineEdit>("txtEncKey"));

    // An empty message: neither command shows anything or leaves the pointer busy.
    const std::size_t shown = boxes.Count();
    SetKey(QStringLiteral("key"));
    TypeMessage(QString());
    Click("lblEncrypt");
    Click("lblDecrypt");
    EXPECT_EQ(boxes.Count(), shown);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(Commands, ACommandCannotStartWhileAnotherRuns) {
    TypeMessage(QStringLiteral("message"));
    BoxWatcher boxes;
    int attempts = 0;
    // While the key box holds the first command, try every command again.
    boxes.onBox = [&](QMessageBox&) {
        if (attempts++ > 0) {
            return;
        }
        EXPECT_TRUE(window->CommandRunning());
        Click("lblEncrypt");
        Click("lblDecrypt");
        Click("lblClear");
        Click("lblCopyText");
        QTest::qWait(20);
    };
    QGuiApplication::clipboard()->setText(QStringLiteral("clip"));
    Click("lblEncrypt");
    EXPECT_EQ(boxes.Count(), 1u);                                             // the second commands showed nothing
    EXPECT_EQ(window->MessageText(), u"message");                             // Clear was refused
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("clip"));  // so was Copy
    EXPECT_FALSE(window->CommandRunning());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    // Closing while a command runs waits for its end.
    boxes.onBox = [&](QMessageBox&) { window->close(); };
    SetKey(QString());
    Click("lblDecrypt");
    EXPECT_FALSE(window->isVisible());
}

TEST_F(Commands, TheMessageEncodingLetsAnyLanguageThrough) {
    const QString message = QStringLiteral("\u041f\u0440\u0438\u0432\u0435\u0442, \u4e16\u754c \U0001F600");
    BoxWatcher boxes;
    SetKey(QStringLiteral("key"));
    TypeMessage(message);
    Click("lblEncrypt");
    ASSERT_EQ(boxes.Count(), 1u);  // Windows-1252 cannot hold it: refused, nothing changed
    EXPECT_TRUE(boxes.Last().text.contains(QStringLiteral("UTF-8"))) << boxes.Last().text.toStdString();
    EXPECT_EQ(ToQString(window->MessageText()), message);

    window->findChild<QAction*>(QStringLiteral("mnuEncodingUtf8"))->trigger();
    Click("lblEncrypt");
    ASSERT_EQ(boxes.Count(), 1u);
    Click("lblDecrypt");
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(ToQString(window->MessageText()), message);
}

TEST_F(Commands, ALargeMessageShowsProgressAndLeavesAUsableArea) {
    // 4 MiB of text: the envelope is 12 MiB on one line.
    QString message;
    message.reserve(4 << 20);
    const QString line = QStringLiteral("The quick brown fox jumps over the lazy dog 0123456789.\r\n");
    while (message.size() + line.size() <= (4 << 20)) {
        message += line;
    }
    message += QString((4 << 20) - message.size(), QLatin1Char('x'));
    ASSERT_EQ(message.size(), 4 << 20);

    auto* progress = Child<QProgressBar>("prgWork");
    int shown = 0;
    int painted = 0;
    struct Spy : QObject {
        int& shown;
        int& painted;
        Spy(int& s, int& p) : shown(s), painted(p) {}
        bool eventFilter(QObject*, QEvent* e) override {
            shown += e->type() == QEvent::Show;
            painted += e->type() == QEvent::Paint;
            return false;
        }
    } spy(shown, painted);
    progress->installEventFilter(&spy);

    window->SetProgressDelay(0);  // however fast this machine is
    BoxWatcher boxes;
    SetKey(QStringLiteral("big"));
    TypeMessage(message);
    Click("lblEncrypt");
    ASSERT_EQ(boxes.Count(), 0u);
    EXPECT_GE(shown, 1);
    EXPECT_GE(painted, 2);
    EXPECT_TRUE(progress->isHidden());
    const std::u16string envelope = window->MessageText();
    EXPECT_EQ(envelope.size() % 3, 2u);
    EXPECT_GT(envelope.size(), 3u * (4u << 20));

    // The area shows the envelope without a document and stays editable: the first key hands
    // it to the editor, in blocks, and characters typed at the start land exactly there.
    auto* area = Child<MessageArea>("txtMessage");
    EXPECT_TRUE(area->Viewing());
    area->setFocus();
    QTest::keyClick(&area->Shown(), Qt::Key_Delete);
    EXPECT_FALSE(area->Viewing());
    EXPECT_GT(area->Editor().document()->blockCount(), 100);
    QTest::keyClick(&area->Shown(), Qt::Key_Delete);
    QTest::keyClick(&area->Shown(), Qt::Key_Delete);
    EXPECT_EQ(window->MessageText(), envelope.substr(3));
    QTest::keyClicks(&area->Shown(), ToQString(envelope.substr(0, 3)));
    EXPECT_EQ(window->MessageText(), envelope);

    Click("lblDecrypt");
    ASSERT_EQ(boxes.Count(), 0u);
    EXPECT_TRUE(window->MessageText() == ToU16(message));
}

TEST_F(Commands, AnEnvelopeSealedWithMorePassesOpensWithTheListsOne) {
    const QString cipher = AvailableCiphers().back();
    auto engine = CreateEngine(ToU16(cipher));
    const std::string sealed = envelope::MakeEnvelope(*engine, ByteArray{'h', 'i'}, u"key", 2);  // as tavorin-cli -p 2
    BoxWatcher boxes;
    Choose(cipher);
    SetKey(QStringLiteral("key"));
    TypeMessage(QString::fromStdString(sealed));
    Click("lblDecrypt");
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_EQ(window->MessageText(), u"hi");
    EXPECT_EQ(Status(), QStringLiteral("Results: Message decrypted with %1 with 2 passes").arg(cipher));
}
