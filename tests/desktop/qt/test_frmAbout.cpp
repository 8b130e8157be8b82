// The About window's texts and links, and the system information lookup over a fake store.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include "WindowTest.h"
#include "desktop/qt/LabelButton.h"
#include "desktop/qt/frmAbout.h"

using namespace tavorin;
using namespace tavorin::testing;

namespace {

class About : public ::testing::Test {
protected:
    FakeDesktop desktop;
    QIcon icon = QIcon(QStringLiteral(":/pictures/tavorin.svg"));
    frmAbout about{desktop, icon};

    QString Text(const char* name) {
        auto* label = about.findChild<QLabel*>(QString::fromLatin1(name));
        EXPECT_NE(label, nullptr) << name;
        return label != nullptr ? label->text() : QString();
    }
};

}  // namespace

TEST_F(About, ShowsItsTextsExactly) {
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Tavorin  Beta"));
    EXPECT_EQ(Text("lblTitle"), QStringLiteral("Tavorin"));
    EXPECT_EQ(Text("lblVersion"), QStringLiteral("Version 1.0  BETA"));
    EXPECT_EQ(Text("lblDescription"),
              QStringLiteral("Tavorin is a utility created to secure your message with various levels of encryption. "
                             "It allows you to encrypt a message however you see fit, then copy it to send or save, "
                             "only to be decrypted by those that know how you encrypted it"));
    EXPECT_EQ(Text("lblDisclaimer"),
              QStringLiteral("Warning...Tavorin is not to be used for any form of illegal acts, terrorism, acts of war "
                             "or conspiracy. Brennick Solutions is not responsible for any information created or sent "
                             "from Tavorin"));
    EXPECT_EQ(Text("Label1"), QStringLiteral("Links for info about encryption methods:"));
    EXPECT_EQ(about.windowIcon().cacheKey(), icon.cacheKey());
    EXPECT_EQ(about.findChild<QPushButton*>(QStringLiteral("cmdSysInfo"))->text(), QStringLiteral("&System Info..."));
}

TEST_F(About, EachCipherLinkOpensTheAddressItShows) {
    const char* names[] = {"Label2", "Label3", "Label4", "Label5", "Label6"};
    const char* captions[] = {"Blowfish:", "DES:", "Gost:", "SkipJack:", "Twofish:"};
    const char* links[] = {"lblBlowfish", "lblDES", "lblGost", "lblSkipJack", "lblTwofish"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Text(names[i]), QString::fromLatin1(captions[i]));
        auto* link = about.findChild<LabelButton*>(QString::fromLatin1(links[i]));
        ASSERT_NE(link, nullptr);
        EXPECT_TRUE(link->text().startsWith(QStringLiteral("https://"))) << links[i];
        QTest::mouseClick(link, Qt::LeftButton);
        ASSERT_EQ(desktop.opened.size(), static_cast<std::size_t>(i + 1));
        EXPECT_EQ(desktop.opened.back(), link->text());
    }
    EXPECT_TRUE(desktop.opened[1].contains(QStringLiteral("46-3")));  // the DES standard itself
}

TEST_F(About, OkHasTheFocusAndEnterEscapeOrAClickClose) {
    auto* ok = about.findChild<QPushButton*>(QStringLiteral("cmdOK"));
    for (const int key : {int(Qt::Key_Return), int(Qt::Key_Escape), 0}) {
        about.show();
        about.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&about));
        EXPECT_EQ(QApplication::focusWidget(), ok);
        if (key != 0)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        else
            QTest::mouseClick(ok, Qt::LeftButton);
        EXPECT_FALSE(about.isVisible()) << key;
    }
}

TEST_F(About, SystemInfoStartsTheRecordedPathAsItIs) {
    desktop.store.values[{SysInfoKey, SysInfoValue}] = QStringLiteral("/opt/tools/sysinfo");
    desktop.store.values[{SysInfoFolderKey, SysInfoFolderValue}] = QStringLiteral("/usr/bin");
    desktop.existing = {QStringLiteral("/usr/bin/hardinfo")};
    BoxWatcher boxes;
    QTest::mouseClick(about.findChild<QPushButton*>(QStringLiteral("cmdSysInfo")), Qt::LeftButton);
    EXPECT_EQ(desktop.started, std::vector<QString>{QStringLiteral("/opt/tools/sysinfo")});
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(About, SystemInfoFallsBackToTheRecordedFolder) {
    desktop.store.values[{SysInfoFolderKey, SysInfoFolderValue}] = QStringLiteral("/usr/local/bin");
    desktop.existing = {QStringLiteral("/usr/local/bin/hardinfo")};
    BoxWatcher boxes;
    about.cmdSysInfo_Click();
    EXPECT_EQ(desktop.started, std::vector<QString>{QStringLiteral("/usr/local/bin/hardinfo")});
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(About, SystemInfoUnavailableIsSaidOnce) {
    BoxWatcher boxes;
    // Nothing recorded.
    about.cmdSysInfo_Click();
    // Only a folder, without the program in it.
    desktop.store.values[{SysInfoFolderKey, SysInfoFolderValue}] = QStringLiteral("/usr/bin");
    about.cmdSysInfo_Click();
    // A recorded path that does not start.
    desktop.store.values[{SysInfoKey, SysInfoValue}] = QStringLiteral("/gone/sysinfo");
    desktop.startSucceeds = false;
    about.cmdSysInfo_Click();
    ASSERT_EQ(boxes.Count(), 3u);
    for (const SeenBox& box : boxes.boxes) {
        EXPECT_EQ(box.text, QStringLiteral("System Information Is Unavailable At This Time"));
        EXPECT_EQ(box.title, QStringLiteral("Tavorin"));
        EXPECT_EQ(box.icon, QMessageBox::NoIcon);
    }
    EXPECT_EQ(desktop.started, std::vector<QString>{QStringLiteral("/gone/sysinfo")});
}

TEST(GetKeyValue, ReadsTextValuesAndRefusesWhatDoesNotFit) {
    FakeStore store;
    store.values[{QStringLiteral("k"), QStringLiteral("plain")}] = QStringLiteral("/usr/bin/x");
    store.values[{QStringLiteral("k"), QStringLiteral("zero")}] = QStringLiteral("/usr/bin/y") + QChar(u'\0');
    store.values[{QStringLiteral("k"), QStringLiteral("full")}] = QString(1024, QLatin1Char('a'));
    store.values[{QStringLiteral("k"), QStringLiteral("over")}] = QString(1025, QLatin1Char('a'));
    store.values[{QStringLiteral("k"), QStringLiteral("wide")}] = QString(513, QChar(0x00e9));  // 1026 bytes

    QString value = QStringLiteral("stale");
    EXPECT_TRUE(GetKeyValue(store, KeyRoot::LocalMachine, QStringLiteral("k"), QStringLiteral("plain"), value));
    EXPECT_EQ(value, QStringLiteral("/usr/bin/x"));
    EXPECT_TRUE(GetKeyValue(store, KeyRoot::LocalMachine, QStringLiteral("k"), QStringLiteral("zero"), value));
    EXPECT_EQ(value, QStringLiteral("/usr/bin/y"));
    EXPECT_TRUE(GetKeyValue(store, KeyRoot::LocalMachine, QStringLiteral("k"), QStringLiteral("full"), value));
    EXPECT_EQ(value.size(), 1024);
    for (const char* refused : {"over", "wide", "missing"}) {
        value = QStringLiteral("stale");
        EXPECT_FALSE(
            GetKeyValue(store, KeyRoot::LocalMachine, QStringLiteral("k"), QString::fromLatin1(refused), value))
            << refused;
        EXPECT_TRUE(value.isEmpty()) << refused;
    }
    EXPECT_FALSE(GetKeyValue(store, KeyRoot::CurrentUser, QStringLiteral("k"), QStringLiteral("plain"), value));
}

TEST(SystemToolStore, FindsASystemInformationProgramOnThePath) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(folder.path()));
    SystemToolStore store;
    EXPECT_FALSE(store.Query(KeyRoot::LocalMachine, SysInfoKey, SysInfoValue).has_value());

    const QString program = folder.filePath(QStringLiteral("kinfocenter"));
    QFile file(program);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n");
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const std::optional<QString> found = store.Query(KeyRoot::LocalMachine, SysInfoKey, SysInfoValue);
    qputenv("PATH", oldPath);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found, program);
    EXPECT_EQ(store.Query(KeyRoot::LocalMachine, SysInfoFolderKey, SysInfoFolderValue), QStringLiteral("/usr/bin"));
    EXPECT_FALSE(store.Query(KeyRoot::LocalMachine, QStringLiteral("Other"), SysInfoValue).has_value());
}
