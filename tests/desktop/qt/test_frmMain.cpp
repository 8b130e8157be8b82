// The main window as a user meets it: start-up, the key display, Copy Text, Clear, the
// length line, hover colours, the menu, the keyboard and closing.
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>

#include "WindowTest.h"
#include "desktop/qt/LabelButton.h"
#include "desktop/qt/MessageArea.h"
#include "desktop/qt/MessageEdit.h"
#include "desktop/qt/MessageText.h"
#include "desktop/qt/Text.h"
#include "desktop/qt/frmAbout.h"
#include "desktop/qt/frmDonate.h"
#include "desktop/qt/frmLinks.h"
#include "engines/Registry.h"

using namespace tavorin;
using namespace tavorin::testing;

namespace {

using FrmMain = MainWindowTest;

QStringList Lines(QComboBox* list) {
    QStringList lines;
    for (int i = 0; i < list->count(); ++i) {
        lines << list->itemText(i);
    }
    return lines;
}

}  // namespace

TEST_F(FrmMain, StartsWithTheListsTheVersionAndTheBlowfishEngine) {
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Tavorin  BETA"));
    EXPECT_EQ(window->size(), QSize(640, 444));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());

    auto* ciphers = Child<QComboBox>("cboEncryption");
    EXPECT_EQ(Lines(ciphers), (QStringList{"Blowfish", "DES", "Gost", "Skipjack", "Twofish"}));
    for (int i = 0; i < ciphers->count(); ++i) {
        EXPECT_EQ(ciphers->itemData(i).toInt(), i);
    }
    EXPECT_EQ(ciphers->currentText(), QStringLiteral("Blowfish"));
    EXPECT_FALSE(ciphers->isEditable());
    ASSERT_EQ(window->EngineCount(), 5);
    EXPECT_EQ(window->SelectedEngine(), window->EngineList()[0].engine);
    for (const frmMain::EngineEntry& entry : window->EngineList()) {
        ASSERT_NE(entry.engine, nullptr);
        EXPECT_EQ(entry.engine->Name(), entry.name);
    }

    auto* passes = Child<QComboBox>("cboEncPasses");
    EXPECT_EQ(Lines(passes), QStringList{"1"});
    EXPECT_EQ(passes->currentText(), QStringLiteral("1"));
    EXPECT_FALSE(passes->isEditable());

    EXPECT_EQ(Child<LabelButton>("lblVersion")->text(), QStringLiteral("version: 1.0"));
    EXPECT_TRUE(Child<QCheckBox>("chkShowKey")->isChecked());
    EXPECT_EQ(Child<QLineEdit>("txtEncKey")->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(LengthLine(), QString());
    EXPECT_EQ(Status(), QStringLiteral("Status:"));
}

TEST_F(FrmMain, ControlsHaveTheirNamesCaptionsTooltipsAndPlaces) {
    struct Expected {
        const char* name;
        const char* caption;  // null: not checked
        const char* tip;
        QRect where;
    };
    const Expected controls[] = {
        {"txtMessage", nullptr, "", {136, 168, 465, 241}},
        {"txtEncKey", nullptr, "A Key is a secret password used to encrypt/decrypt your message.", {184, 104, 289, 19}},
        {"cboEncryption", nullptr, "", {184, 64, 185, 23}},
        {"cboEncPasses", nullptr, "", {384, 64, 89, 21}},
        {"chkShowKey", "Show Key Text", "Uncheck to hide key text", {496, 108, 129, 17}},
        {"lblLength", "", "", {520, 411, 112, 17}},
        {"Label4", "TM", "", {160, 8, 33, 17}},
        {"lblHeading", "Tavorin", "", {40, 0, 177, 33}},
        {"lblMenu", "Menu", "", {584, 0, 49, 17}},
        {"lblQuit", "Quit", "Closes the program", {48, 360, 49, 17}},
        {"lblClear",
         "Clear",
         "This will clear the text box and remove any copied text from memory.",
         {48, 264, 49, 17}},
        {"lblCopyText",
         "Copy Text",
         "Click here to copy the text in the box into memory, allowing you to paste it into other programs or emails.",
         {48, 192, 49, 41}},
        {"lblDecrypt", "Decrypt", "Click here to decrypt your message", {40, 136, 57, 17}},
        {"lblEncrypt", "Encrypt", "Click here to encrypt your message", {40, 72, 57, 17}},
        {"Label1", "Key:", "", {136, 108, 41, 17}},
        {"Label3", "Encryption Method", "", {184, 48, 161, 17}},
        {"Label5", "# of Passes", "", {384, 48, 105, 17}},
        {"Label2", "Enter message to be Encrypted or Decrypted:", "", {136, 152, 481, 17}},
        {"lblVersion", nullptr, "Click for more information", {16, 424, 89, 17}},
        {"lblResult", "Status:", "", {136, 411, 337, 17}},
        {"Shape1", nullptr, "", {104, 40, 537, 409}},
    };
    for (const Expected& c : controls) {
        SCOPED_TRACE(c.name);
        QWidget* w = Child<QWidget>(c.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->geometry(), c.where);
        EXPECT_EQ(w->toolTip(), QString::fromLatin1(c.tip));
        if (c.caption != nullptr) {
            if (auto* label = qobject_cast<QLabel*>(w)) {
                EXPECT_EQ(label->text(), QString::fromLatin1(c.caption));
            } else if (auto* box = qobject_cast<QCheckBox*>(w)) {
                EXPECT_EQ(box->text(), QString::fromLatin1(c.caption));
            }
        }
    }
    // The push buttons lie outside the client area: never seen, never in the Tab chain.
    for (const char* name : {"cmdDecrypt", "cmdEncrypt", "cmdQuit", "cmdCopy", "cmdClear"}) {
        auto* button = Child<QPushButton>(name);
        EXPECT_EQ(button->x(), 648) << name;
        EXPECT_EQ(button->focusPolicy(), Qt::NoFocus) << name;
    }
    // One picture beside each label-button, top to bottom.
    int previous = 0;
    for (const char* name : {"Image1", "Image2", "Image3", "Image4", "Image5"}) {
        auto* image = Child<QLabel>(name);
        EXPECT_EQ(image->geometry().left(), 8) << name;
        EXPECT_EQ(image->size(), QSize(32, 32)) << name;
        EXPECT_FALSE(image->pixmap().isNull()) << name;
        EXPECT_GT(image->y(), previous) << name;
        previous = image->y();
    }
}

TEST_F(FrmMain, TheEngineComesFromTheItemDataNotTheLinePosition) {
    auto* ciphers = Child<QComboBox>("cboEncryption");
    Choose(QStringLiteral("Twofish"));
    EXPECT_EQ(window->SelectedEngine(), window->EngineList()[4].engine);
    // Point the Twofish line at the DES entry: the engine must follow the data.
    ciphers->setItemData(4, 1);
    Choose(QStringLiteral("Gost"));
    Choose(QStringLiteral("Twofish"));
    EXPECT_EQ(window->SelectedEngine(), window->EngineList()[1].engine);
}

TEST_F(FrmMain, HidingTheKeyMasksItWithoutChangingIt) {
    auto* key = Child<QLineEdit>("txtEncKey");
    auto* show = Child<QCheckBox>("chkShowKey");
    SetKey(QStringLiteral("s3cret key"));
    QTest::mouseClick(show, Qt::LeftButton, {}, QPoint(6, show->height() / 2));
    EXPECT_FALSE(show->isChecked());
    EXPECT_EQ(key->echoMode(), QLineEdit::Password);
    EXPECT_EQ(key->text(), QStringLiteral("s3cret key"));
    EXPECT_EQ(key->displayText(), QString(10, QChar(0x2022)));
    EXPECT_EQ(key->font().pointSize(), 14);
    EXPECT_EQ(show->toolTip(), QStringLiteral("Check to show key text"));

    QTest::mouseClick(show, Qt::LeftButton, {}, QPoint(6, show->height() / 2));
    EXPECT_EQ(key->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(key->text(), QStringLiteral("s3cret key"));
    EXPECT_EQ(key->font().family(), QStringLiteral("Arial"));
    EXPECT_EQ(key->font().pointSize(), 9);
    EXPECT_EQ(show->toolTip(), QStringLiteral("Uncheck to hide key text"));

    // The grey state changes nothing.
    show->setCheckState(Qt::PartiallyChecked);
    window->chkShowKey_Click();
    EXPECT_EQ(key->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(show->toolTip(), QStringLiteral("Uncheck to hide key text"));
}

TEST_F(FrmMain, CopyTextReplacesTheWholeClipboardEvenWithAnEmptyMessage) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    auto* earlier = new QMimeData;
    earlier->setText(QStringLiteral("earlier"));
    earlier->setData(QStringLiteral("application/x-earlier"), "left over");
    clipboard->setMimeData(earlier);

    Click("lblCopyText");
    EXPECT_EQ(clipboard->text(), QString());
    EXPECT_FALSE(clipboard->mimeData()->hasFormat(QStringLiteral("application/x-earlier")));

    const QString message = QStringLiteral("line one\r\nline two\ttab \u00e9\u20ac\x01");
    TypeMessage(message);
    Click("lblCopyText");
    EXPECT_EQ(clipboard->text(), message);
    // Plain text is marked so that clipboard managers keep it out of their history.
    EXPECT_EQ(clipboard->mimeData()->data(QString::fromLatin1(PasswordManagerHint)), QByteArray("secret"));
}

TEST_F(FrmMain, ClearEmptiesMessageKeyAndStatusAndLeavesTheClipboard) {
    QGuiApplication::clipboard()->setText(QStringLiteral("keep me"));
    TypeMessage(QStringLiteral("some message"));
    SetKey(QStringLiteral("key"));
    Child<QComboBox>("cboEncryption")->setFocus();
    Click("lblClear");
    EXPECT_EQ(window->MessageText(), u"");
    EXPECT_EQ(Child<QLineEdit>("txtEncKey")->text(), QString());
    EXPECT_EQ(Status(), QString());
    EXPECT_EQ(window->focusWidget(), Child<QLineEdit>("txtEncKey"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("keep me"));
    EXPECT_EQ(LengthLine(), QStringLiteral("Length: 0"));
}

TEST_F(FrmMain, TheLengthLineFollowsEveryWriteAndEveryKeystroke) {
    window->SetMessageText(u"abc");
    EXPECT_EQ(LengthLine(), QStringLiteral("Length: 3"));
    window->SetMessageText(u"");
    EXPECT_EQ(LengthLine(), QStringLiteral("Length: 0"));
    window->SetMessageText(u"\r\n\r\n");  // every character counts, line breaks too
    EXPECT_EQ(LengthLine(), QStringLiteral("Length: 4"));
    auto* message = &Child<MessageArea>("txtMessage")->Editor();
    message->setFocus();
    message->moveCursor(QTextCursor::End);
    QTest::keyClicks(message, QStringLiteral("xy"));
    EXPECT_EQ(LengthLine(), QStringLiteral("Length: 6"));
    QTest::keyClick(message, Qt::Key_Backspace);
    EXPECT_EQ(LengthLine(), QStringLiteral("Length: 5"));
    auto* length = Child<QLabel>("lblLength");
    EXPECT_LE(length->fontMetrics().horizontalAdvance(QStringLiteral("Length: 2147483647")), length->width());
}

TEST_F(FrmMain, LabelButtonsChangeColourUnderThePointerAndBackOverTheBackground) {
    const QColor rest = frmMain::RestColour(window->palette());
    const QColor hover = frmMain::HoverColour(window->palette());
    ASSERT_NE(rest, hover);
    EXPECT_EQ(rest, window->palette().color(QPalette::HighlightedText));
    EXPECT_EQ(hover, window->palette().color(QPalette::Dark));

    const char* labels[] = {"lblEncrypt", "lblDecrypt", "lblCopyText", "lblClear", "lblQuit", "lblMenu"};
    for (const char* name : labels) {
        EXPECT_EQ(Child<LabelButton>(name)->TextColour(), rest) << name;
        QTest::mouseMove(Child<LabelButton>(name));
        EXPECT_EQ(Child<LabelButton>(name)->TextColour(), hover) << name;
    }
    auto* version = Child<LabelButton>("lblVersion");
    QTest::mouseMove(version);
    EXPECT_TRUE(version->font().bold());

    // Straight onto another control: they stay as they are.
    QTest::mouseMove(Child<QWidget>("txtMessage"));
    QTest::mouseMove(Child<QWidget>("Label2"));
    EXPECT_EQ(Child<LabelButton>("lblEncrypt")->TextColour(), hover);
    EXPECT_TRUE(version->font().bold());

    // Over the bare background (the panel behind the controls counts as background).
    QTest::mouseMove(window.get(), QPoint(20, 20));
    for (const char* name : labels) {
        EXPECT_EQ(Child<LabelButton>(name)->TextColour(), rest) << name;
    }
    EXPECT_FALSE(version->font().bold());
    QTest::mouseMove(Child<LabelButton>("lblQuit"));
    QTest::mouseMove(window.get(), QPoint(620, 300));
    EXPECT_EQ(Child<LabelButton>("lblQuit")->TextColour(), rest);
}

TEST(LabelColours, StayReadableOnTheBackgroundInADarkTheme) {
    // A dark palette whose Dark role would vanish on the background picture.
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x20, 0x23, 0x26));
    dark.setColor(QPalette::HighlightedText, QColor(0xfc, 0xfc, 0xfc));
    dark.setColor(QPalette::Dark, QColor(0x0f, 0x10, 0x12));
    dark.setColor(QPalette::Mid, QColor(0x1a, 0x1c, 0x1e));
    dark.setColor(QPalette::Midlight, QColor(0x8c, 0x93, 0x9a));
    dark.setColor(QPalette::Light, QColor(0xc8, 0xcc, 0xd0));
    EXPECT_EQ(frmMain::RestColour(dark), QColor(0xfc, 0xfc, 0xfc));
    EXPECT_EQ(frmMain::HoverColour(dark), QColor(0x8c, 0x93, 0x9a));
    // Nothing readable at all: the classic workspace grey.
    QPalette flat;
    for (auto role : {QPalette::HighlightedText, QPalette::BrightText, QPalette::Light, QPalette::Dark, QPalette::Mid,
                      QPalette::Midlight}) {
        flat.setColor(role, QColor(0x20, 0x30, 0x50));
    }
    EXPECT_EQ(frmMain::RestColour(flat), QColor(Qt::white));
    EXPECT_EQ(frmMain::HoverColour(flat), QColor(0xab, 0xab, 0xab));
}

TEST_F(FrmMain, TheMenuHoldsItsItemsInOrder) {
    auto* menu = window->findChild<QMenu*>(QStringLiteral("mnuMenu"));
    ASSERT_NE(menu, nullptr);
    QStringList names;
    for (QAction* action : menu->actions()) {
        names << action->objectName() +
                     (action->isSeparator() ? QStringLiteral("|-") : QStringLiteral("|") + action->text());
    }
    EXPECT_EQ(names, (QStringList{"mnuAbout|About Tavorin", "mnuWebsites|Support Sites", "asdf|-", "mnuLinks|Links",
                                  "mnuDonate|Donate", "mnulkj|-", "mnuEncoding|Message Encoding", "mnuEncodingLine|-",
                                  "mnuExit|Exit"}));
    QMenu* sites = menu->actions()[1]->menu();
    ASSERT_NE(sites, nullptr);
    QStringList siteNames;
    for (QAction* action : sites->actions()) {
        siteNames << action->text();
    }
    EXPECT_EQ(siteNames, (QStringList{"Tavorin Website", "Brennick Solutions", "Support Forum"}));

    // The label pops it up.
    Click("lblMenu");
    EXPECT_TRUE(menu->isVisible());
    menu->hide();
}

TEST_F(FrmMain, TavorinWebsiteOnlySaysTheSiteIsUnavailable) {
    BoxWatcher boxes;
    window->findChild<QAction*>(QStringLiteral("mnuTavorinSite"))->trigger();
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Last().text, QStringLiteral("Site unavailable at this time"));
    EXPECT_EQ(boxes.Last().icon, QMessageBox::NoIcon);
    EXPECT_EQ(boxes.Last().title, QStringLiteral("Tavorin"));
    EXPECT_TRUE(desktop.opened.empty());

    window->findChild<QAction*>(QStringLiteral("mnuBrennickSite"))->trigger();
    window->findChild<QAction*>(QStringLiteral("mnuSupportForumSite"))->trigger();
    ASSERT_EQ(desktop.opened.size(), 2u);
    EXPECT_NE(desktop.opened[0], desktop.opened[1]);
    EXPECT_EQ(boxes.Count(), 1u);
}

TEST_F(FrmMain, SecondaryWindowsOpenCentredWithoutBlockingAndOnlyOnce) {
    window->move(310, 170);
    Click("lblVersion");
    frmAbout* about = window->AboutWindow();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());
    EXPECT_FALSE(about->isModal());
    window->findChild<QAction*>(QStringLiteral("mnuAbout"))->trigger();
    EXPECT_EQ(window->AboutWindow(), about);

    window->findChild<QAction*>(QStringLiteral("mnuLinks"))->trigger();
    window->findChild<QAction*>(QStringLiteral("mnuDonate"))->trigger();
    ASSERT_NE(window->LinksWindow(), nullptr);
    ASSERT_NE(window->DonateWindow(), nullptr);
    EXPECT_TRUE(window->LinksWindow()->isVisible());
    EXPECT_TRUE(window->DonateWindow()->isVisible());
    for (QWidget* w : std::initializer_list<QWidget*>{about, window->LinksWindow(), window->DonateWindow()})
        EXPECT_LE((w->frameGeometry().center() - window->frameGeometry().center()).manhattanLength(), 8);

    // Closing the main window leaves them open.
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(about->isVisible());
}

TEST_F(FrmMain, QuitAndExitCloseTheWindow) {
    Click("lblQuit");
    EXPECT_FALSE(window->isVisible());
    window->show();
    window->findChild<QAction*>(QStringLiteral("mnuExit"))->trigger();
    EXPECT_FALSE(window->isVisible());
}

TEST_F(FrmMain, EveryCommandIsReachableFromTheKeyboard) {
    BoxWatcher boxes;
    Reactivate();
    auto* key = Child<QLineEdit>("txtEncKey");
    auto* message = &Child<MessageArea>("txtMessage")->Shown();

    // Ctrl+E and Ctrl+D with an empty key say so, wherever the focus is.
    message->setFocus();
    QTest::keyClick(message, Qt::Key_E, Qt::ControlModifier);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Last().text, QStringLiteral("You must enter a key"));
    Reactivate();
    key->setFocus();
    QTest::keyClick(key, Qt::Key_D, Qt::ControlModifier);
    ASSERT_EQ(boxes.Count(), 2u);
    EXPECT_EQ(boxes.Last().text, QStringLiteral("You must enter a key"));

    Reactivate();

    // Ctrl+H hides and shows the key.
    QTest::keyClick(key, Qt::Key_H, Qt::ControlModifier);
    EXPECT_EQ(key->echoMode(), QLineEdit::Password);
    QTest::keyClick(key, Qt::Key_H, Qt::ControlModifier);
    EXPECT_EQ(key->echoMode(), QLineEdit::Normal);

    // Ctrl+Shift+C copies, Ctrl+L clears.
    TypeMessage(QStringLiteral("keyboard"));
    QTest::keyClick(message, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("keyboard"));
    QTest::keyClick(message, Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(window->MessageText(), u"");

    // Tab walks the controls in reading order, the label-buttons included.
    const char* chain[] = {"cboEncryption", "cboEncPasses", "txtEncKey", "chkShowKey", "txtMessage", "lblEncrypt",
                           "lblDecrypt",    "lblCopyText",  "lblClear",  "lblQuit",    "lblMenu",    "lblVersion"};
    Child<QWidget>(chain[0])->setFocus();
    for (std::size_t i = 1; i < std::size(chain); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_TRUE(Child<QWidget>(chain[i])->hasFocus()) << chain[i];
    }
    // Space on a focused label-button runs it.
    Child<QWidget>("lblEncrypt")->setFocus();
    QTest::keyClick(Child<QWidget>("lblEncrypt"), Qt::Key_Space);
    EXPECT_EQ(boxes.Count(), 3u);
    Reactivate();

    // Ctrl+Q quits.
    QTest::keyClick(key, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(FrmMain, TheEncodingChoiceSitsInTheMenu) {
    EXPECT_EQ(window->Encoding(), MessageEncoding::Windows1252);
    auto* utf8 = window->findChild<QAction*>(QStringLiteral("mnuEncodingUtf8"));
    auto* ansi = window->findChild<QAction*>(QStringLiteral("mnuEncodingAnsi"));
    ASSERT_NE(utf8, nullptr);
    ASSERT_NE(ansi, nullptr);
    utf8->trigger();
    EXPECT_EQ(window->Encoding(), MessageEncoding::Utf8);
    EXPECT_FALSE(ansi->isChecked());
    ansi->trigger();
    EXPECT_EQ(window->Encoding(), MessageEncoding::Windows1252);
}

TEST_F(FrmMain, MessageBoxesWithoutATitleShowTheApplicationTitle) {
    BoxWatcher boxes;
    window->ShowMessage(u"first\r\nsecond", MessageIcon::Exclamation, u"");
    window->ShowMessage(u"x", MessageIcon::Critical, u"Key");
    window->ShowMessage(u"y", MessageIcon::Information, u"Note");
    ASSERT_EQ(boxes.Count(), 3u);
    EXPECT_EQ(boxes.boxes[0].title, QStringLiteral("Tavorin"));
    EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("first\nsecond"));
    EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Warning);
    EXPECT_EQ(boxes.boxes[1].title, QStringLiteral("Key"));
    EXPECT_EQ(boxes.boxes[1].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes.boxes[2].icon, QMessageBox::Information);
}
