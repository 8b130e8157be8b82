#include "desktop/qt/frmAbout.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include <array>

#include "desktop/qt/Addresses.h"
#include "desktop/qt/LabelButton.h"
#include "desktop/qt/Pictures.h"
#include "desktop/qt/Platform.h"
#include "desktop/qt/SmallWindows.h"

namespace tavorin {

frmAbout::frmAbout(Desktop& desktop, const QIcon& icon, QWidget* parent) : QWidget(parent), desktop_(desktop) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Tavorin"));
    setFixedSize(520, 404);
    setFont(QFont(QStringLiteral("Arial"), 9));

    auto* picture = AddLabel(this, "Image1", QString(), QRect(16, 16, 64, 64));
    picture->setPixmap(pictures::Render(pictures::About, QSize(64, 64), devicePixelRatioF()));

    lblTitle = AddLabel(this, "lblTitle", QStringLiteral("Tavorin"), QRect(96, 14, 408, 28));
    QFont title(QStringLiteral("Arial"), 16);
    title.setBold(true);
    lblTitle->setFont(title);
    lblVersion = AddLabel(this, "lblVersion", QStringLiteral("Version"), QRect(96, 44, 408, 18));
    lblDescription = AddLabel(this, "lblDescription", QStringLiteral("App Description"), QRect(96, 66, 408, 72), true);
    AddLine(this, "Line1", QRect(16, 146, 488, 2));

    AddLabel(this, "Label1", QStringLiteral("Links for info about encryption methods:"), QRect(16, 156, 488, 18));
    struct Link {
        const char* label;
        const char* caption;
        const char* name;
        const QString& address;
    };
    const std::array<Link, 5> links = {{
        {"Label2", "Blowfish:", "lblBlowfish", address::Blowfish},
        {"Label3", "DES:", "lblDES", address::DES},
        {"Label4", "Gost:", "lblGost", address::Gost},
        {"Label5", "SkipJack:", "lblSkipJack", address::SkipJack},
        {"Label6", "Twofish:", "lblTwofish", address::Twofish},
    }};
    int top = 180;
    for (const Link& link : links) {
        AddLabel(this, link.label, QString::fromLatin1(link.caption), QRect(32, top, 72, 18));
        LabelButton* label = AddLink(this, link.name, link.address, QRect(108, top, 396, 18));
        // The caption is the address a click opens.
        connect(label, &LabelButton::Clicked, this, [this, label] { desktop_.OpenAddress(label->text()); });
        top += 20;
    }
    AddLine(this, "Line2", QRect(16, 286, 488, 2));

    lblDisclaimer = AddLabel(this, "lblDisclaimer", QStringLiteral("Warning: ..."), QRect(16, 298, 372, 92), true);
    QFont warning(QStringLiteral("Arial"), 8);
    lblDisclaimer->setFont(warning);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(400, 300, 104, 28);
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    cmdSysInfo->setGeometry(400, 336, 104, 28);
    cmdSysInfo->setAutoDefault(true);  // Enter on it, once it has the focus, starts the tool
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
    setTabOrder(cmdOK, cmdSysInfo);
    cmdOK->setFocus();
    CloseOnEscape(this);

    Form_Load(icon);
}

void frmAbout::Form_Load(const QIcon& icon) {
    setWindowTitle(QStringLiteral("About ") + ApplicationTitle + QStringLiteral("  Beta"));
    lblVersion->setText(QStringLiteral("Version %1.%2  BETA").arg(VersionMajor).arg(VersionMinor));
    lblTitle->setText(ApplicationTitle);
    lblDescription->setText(
        QStringLiteral("Tavorin is a utility created to secure your message with various levels of encryption. It "
                       "allows you to encrypt a message however you see fit, then copy it to send or save, only to be "
                       "decrypted by those that know how you encrypted it"));
    setWindowIcon(icon);
    lblDisclaimer->setText(
        QStringLiteral("Warning...Tavorin is not to be used for any form of illegal acts, terrorism, acts of war or "
                       "conspiracy. Brennick Solutions is not responsible for any information created or sent from "
                       "Tavorin"));
}

void frmAbout::cmdOK_Click() { close(); }

void frmAbout::keyPressEvent(QKeyEvent* event) {
    // What no button took: Enter is OK's, the default button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        cmdOK->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmAbout::cmdSysInfo_Click() { StartSysInfo(desktop_, this); }

}  // namespace tavorin
