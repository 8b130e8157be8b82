// The Links window replaces what it shows, and the Donate window opens its page.
#include <QLabel>
#include <QPlainTextEdit>

#include "WindowTest.h"
#include "desktop/qt/LabelButton.h"
#include "desktop/qt/frmDonate.h"
#include "desktop/qt/frmLinks.h"

using namespace tavorin;
using namespace tavorin::testing;

namespace {

class Links : public ::testing::Test {
protected:
    FakeDesktop desktop;
    frmLinks links{desktop, QIcon()};

    void Choose(const char* product) {
        auto* label = links.findChild<LabelButton*>(QString::fromLatin1(product));
        ASSERT_NE(label, nullptr) << product;
        QTest::mouseClick(label, Qt::LeftButton);
    }
    QString Info() const { return links.findChild<QPlainTextEdit*>(QStringLiteral("txtlinkinfo"))->toPlainText(); }
    QString Shown(const char* name) const { return links.findChild<QLabel*>(QString::fromLatin1(name))->text(); }
};

const char* const Products[] = {"lblDataBackup", "lblDiskeeper", "lblNOD32", "lblSuperantispyware", "lblUndelete"};

}  // namespace

TEST_F(Links, StartsEmptyAndOpensNothingBeforeAChoice) {
    EXPECT_EQ(links.windowTitle(), QStringLiteral("Recommended Links"));
    EXPECT_EQ(Shown("Label3"), QStringLiteral("Click to view"));
    EXPECT_EQ(Shown("Label1"), QStringLiteral("Click here:"));
    EXPECT_TRUE(links.LinkInfo().isEmpty());
    EXPECT_TRUE(links.LinkAddress().isEmpty());
    links.lblLink_Click();
    EXPECT_TRUE(desktop.opened.empty());
}

TEST_F(Links, EachProductReplacesEverythingOfTheOneBefore) {
    const QStringList captions{"RemoteDataBackups", "Diskeeper", "NOD32 Antivirus", "SuperAntispyware", "Undelete"};
    QStringList infos;
    QStringList copyrights;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Shown(Products[i]), captions[i]);
        Choose(Products[i]);
        const QString info = links.LinkInfo();
        ASSERT_FALSE(info.isEmpty());
        EXPECT_TRUE(info.endsWith(QStringLiteral("\r\n\r\n")));
        for (const QString& earlier : infos) {
            EXPECT_FALSE(info.contains(earlier));
        }
        infos << info;
        copyrights << Shown("lblCopyright");
        // The link shows the site; a click opens the referral page, which names the referrer.
        const QString site = Shown("lblLink");
        EXPECT_TRUE(links.LinkAddress().startsWith(site));
        EXPECT_TRUE(links.LinkAddress().contains(QLatin1Char('?')));
        EXPECT_FALSE(site.contains(QLatin1Char('?')));
        links.findChild<LabelButton*>(QStringLiteral("lblLink"))->Clicked();
        EXPECT_EQ(desktop.opened.back(), links.LinkAddress());
        EXPECT_FALSE(Info().contains(QStringLiteral("\n\n\n\n\n")));
    }
    EXPECT_EQ(desktop.opened.size(), 5u);
    EXPECT_EQ(copyrights[1], copyrights[4]);  // the same vendor
    EXPECT_NE(copyrights[0], copyrights[2]);
}

TEST_F(Links, TheSameProductTwiceShowsItsTextOnce) {
    Choose("lblNOD32");
    const QString once = links.LinkInfo();
    const QString shown = Info();
    Choose("lblNOD32");
    EXPECT_EQ(links.LinkInfo(), once);
    EXPECT_EQ(Info(), shown);
    Choose("lblDiskeeper");
    Choose("lblNOD32");
    EXPECT_EQ(links.LinkInfo(), once);
}

// The focus frame follows the product chosen, by key or by mouse; Escape closes.
TEST_F(Links, TheFocusFrameLeavesAProductNoLongerChosenAndEscapeCloses) {
    links.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&links));
    auto* first = links.findChild<LabelButton*>(QString::fromLatin1(Products[0]));
    first->setFocus();
    QTest::keyClick(first, Qt::Key_Space);
    Choose(Products[3]);
    EXPECT_FALSE(first->hasFocus());
    EXPECT_TRUE(links.findChild<LabelButton*>(QString::fromLatin1(Products[3]))->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(links.isVisible());
}

TEST(Donate, AsksAndOpensTheDonationPage) {
    FakeDesktop desktop;
    frmDonate donate(desktop, QIcon());
    EXPECT_EQ(donate.windowTitle(), QStringLiteral("Donate"));
    EXPECT_EQ(donate.findChild<QLabel*>(QStringLiteral("Label1"))->text(),
              QStringLiteral("Tavorin is a free to use program, but we do need and appreciate your donations. Any "
                             "amount is acceptible. Donations are used to further improve our products and provide "
                             "better support to our customers. Thank You"));
    auto* picture = donate.findChild<LabelButton*>(QStringLiteral("Image1"));
    ASSERT_NE(picture, nullptr);
    EXPECT_FALSE(picture->pixmap().isNull());
    QTest::mouseClick(picture, Qt::LeftButton);
    ASSERT_EQ(desktop.opened.size(), 1u);
    EXPECT_TRUE(desktop.opened[0].startsWith(QStringLiteral("https://")));
    donate.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&donate));
    QTest::keyClick(&donate, Qt::Key_Escape);
    EXPECT_FALSE(donate.isVisible());
}
