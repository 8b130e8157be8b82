// Pictures of the windows for a person to look at: written only when
// TAVORIN_SCREENSHOT_DIR names a folder.
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>

#include "WindowTest.h"
#include "desktop/Forms.h"
#include "desktop/qt/LabelButton.h"
#include "desktop/qt/MessageArea.h"
#include "desktop/qt/Pictures.h"
#include "desktop/qt/frmAbout.h"
#include "desktop/qt/frmDonate.h"
#include "desktop/qt/frmLinks.h"

using namespace tavorin;
using namespace tavorin::testing;

TEST_F(MainWindowTest, Screenshots) {
    const QString folder = qEnvironmentVariable("TAVORIN_SCREENSHOT_DIR");
    if (folder.isEmpty()) {
        GTEST_SKIP() << "TAVORIN_SCREENSHOT_DIR not set";
    }
    QDir().mkpath(folder);
    auto save = [&](QWidget* w, const char* name) {
        ASSERT_TRUE(w->grab().save(QDir(folder).filePath(QString::fromLatin1(name)))) << name;
    };
    save(window.get(), "main-start.png");
    SetKey(QStringLiteral("my secret key"));
    TypeMessage(QStringLiteral("Meet me at the station at ten.\nBring the papers."));
    Reactivate();
    Child<QWidget>("lblEncrypt")->setFocus();
    save(window.get(), "main-message.png");
    auto* menu = window->findChild<QMenu*>(QStringLiteral("mnuMenu"));
    menu->popup(window->mapToGlobal(QPoint(500, 20)));
    save(menu, "menu.png");
    menu->hide();
    BoxWatcher boxes;
    Click("lblEncrypt");
    QTest::mouseMove(Child<LabelButton>("lblDecrypt"));
    save(window.get(), "main-envelope.png");
    window->findChild<QLineEdit*>(QStringLiteral("txtEncKey"))->setEchoMode(QLineEdit::Password);
    Child<QWidget>("chkShowKey")->setProperty("checked", false);
    window->chkShowKey_Click();
    QString big(300000, QLatin1Char('a'));
    for (int i = 0; i < big.size(); i += 7)
        big[i] = QLatin1Char(' ');
    TypeMessage(big);
    Click("lblEncrypt");
    save(window.get(), "main-large.png");
    // The large envelope and the large message are shown in the view, selected as in the editor.
    QWidget* area = Child<MessageArea>("txtMessage")->Shown().viewport();
    QTest::mousePress(area, Qt::LeftButton, {}, QPoint(100, 30));
    QTest::mouseMove(area, QPoint(300, 90));
    QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(300, 90));
    save(window.get(), "main-large-selected.png");
    Click("lblDecrypt");
    save(window.get(), "main-large-decrypted.png");

    window->mnuAbout_Click();
    save(reinterpret_cast<QWidget*>(window->AboutWindow()), "about.png");
    window->mnuLinks_Click();
    QTest::mouseClick(window->LinksWindow()->findChild<LabelButton*>(QStringLiteral("lblNOD32")), Qt::LeftButton);
    save(reinterpret_cast<QWidget*>(window->LinksWindow()), "links.png");
    window->mnuDonate_Click();
    save(reinterpret_cast<QWidget*>(window->DonateWindow()), "donate.png");

    // The pictures, large, on the window's background colour.
    QImage sheet(7 * 136, 136, QImage::Format_ARGB32);
    sheet.fill(pictures::ToQColor(BackdropLight));
    QPainter painter(&sheet);
    int x = 4;
    namespace picture = forms::picture;
    for (const std::u16string_view name : {picture::Icon, picture::Encrypt, picture::Decrypt, picture::Copy,
                                           picture::Clear, picture::Quit, picture::Pointer}) {
        painter.drawPixmap(x, 4, pictures::Render(pictures::Path(name), QSize(128, 128)));
        x += 136;
    }
    painter.end();
    ASSERT_TRUE(sheet.save(QDir(folder).filePath(QStringLiteral("pictures.png"))));
}
