#include "desktop/qt/frmLinks.h"

#include <QLabel>
#include <QPlainTextEdit>

#include <array>

#include "desktop/qt/LabelButton.h"
#include "desktop/qt/Platform.h"
#include "desktop/qt/SmallWindows.h"

namespace tavorin {

struct frmLinks::Product {
    const char* name;  // object name of its label
    const char* caption;
    std::array<const char*, 2> paragraphs;  // null where there is no second one
    const char* referral;                   // what the link opens: the site, telling who sent the visitor
    const char* site;                       // what the link shows
    const char* copyright;
};

namespace {

const char* const Condusiv = "Copyright \u00a9 Condusiv Technologies Corporation. All rights reserved.";

}  // namespace

frmLinks::frmLinks(Desktop& desktop, const QIcon& icon, QWidget* parent) : QWidget(parent), desktop_(desktop) {
    setObjectName(QStringLiteral("frmLinks"));
    setWindowTitle(QStringLiteral("Recommended Links"));
    setFixedSize(520, 372);
    setFont(QFont(QStringLiteral("Arial"), 9));
    setWindowIcon(icon);  // the main window's

    static const std::array<Product, 5> products = {{
        {"lblDataBackup",
         "RemoteDataBackups",
         {"RemoteDataBackups is an online backup service. Files chosen on a computer are copied over the "
          "Internet to storage kept elsewhere, so that they can be restored after a disk failure, a theft or "
          "an accidental deletion.",
          "Backups run on a schedule without the user's attention; files are restored from the service when "
          "they are needed."},
         "https://www.remotedatabackups.com/?ref=tavorin",
         "https://www.remotedatabackups.com/",
         "Copyright \u00a9 Remote Data Backups, Inc. All rights reserved."},
        {"lblDiskeeper",
         "Diskeeper",
         {"Diskeeper is a defragmentation program for Microsoft Windows. It moves the scattered pieces of "
          "files on a hard disk together, so that each file can be read in one pass.",
          "It can work in the background while the computer is otherwise idle."},
         "https://www.condusiv.com/?ref=tavorin",
         "https://www.condusiv.com/",
         Condusiv},
        {"lblNOD32",
         "NOD32 Antivirus",
         {"ESET NOD32 Antivirus is an antivirus program. It checks files, downloads and e-mail for known "
          "malicious software and uses heuristic analysis to recognise new variants of it.",
          "Its signature database is updated over the Internet."},
         "https://www.eset.com/?ref=tavorin",
         "https://www.eset.com/",
         "Copyright \u00a9 ESET, spol. s r.o. All rights reserved."},
        {"lblSuperantispyware",
         "SuperAntispyware",
         {"SUPERAntiSpyware is a program for Microsoft Windows that scans a computer for spyware, adware and "
          "similar unwanted software and removes what it finds.",
          "It can be used alongside an antivirus program."},
         "https://www.superantispyware.com/?ref=tavorin",
         "https://www.superantispyware.com/",
         "Copyright \u00a9 SUPERAntiSpyware. All rights reserved."},
        {"lblUndelete",
         "Undelete",
         {"Undelete is a file recovery program for Microsoft Windows. It restores files that were deleted by "
          "mistake, including files emptied from the Recycle Bin, as long as their space on the disk has not "
          "been used again.",
          nullptr},
         "https://www.condusiv.com/?ref=tavorin&product=undelete",
         "https://www.condusiv.com/",
         Condusiv},
    }};

    AddLabel(this, "Label2",
             QStringLiteral("The products below are recommended by Brennick Solutions. Each link leads to the "
                            "product's own web site, which is safe to visit."),
             QRect(16, 12, 488, 36), true);
    AddLabel(this, "Label3", QStringLiteral("Click to view"), QRect(16, 58, 150, 18));
    int top = 82;
    for (const Product& product : products) {
        LabelButton* label = AddLink(this, product.name, QString::fromUtf8(product.caption), QRect(24, top, 150, 18));
        label->setToolTip(QString());
        connect(label, &LabelButton::Clicked, this, [this, label, &product] {
            label->setFocus();  // the focus frame goes with the choice, chosen by mouse or key
            ShowProduct(product);
        });
        top += 24;
    }
    AddLine(this, "Line1", QRect(184, 58, 2, 230));
    txtlinkinfo = new QPlainTextEdit(this);
    txtlinkinfo->setObjectName(QStringLiteral("txtlinkinfo"));
    txtlinkinfo->setGeometry(196, 58, 308, 230);
    txtlinkinfo->setReadOnly(true);
    AddLine(this, "Line2", QRect(16, 298, 488, 2));
    AddLabel(this, "Label1", QStringLiteral("Click here:"), QRect(16, 310, 80, 18));
    lblLink = AddLink(this, "lblLink", QString(), QRect(100, 310, 404, 18));
    lblLink->setToolTip(QString());
    connect(lblLink, &LabelButton::Clicked, this, &frmLinks::lblLink_Click);
    lblCopyright = AddLabel(this, "lblCopyright", QString(), QRect(16, 336, 488, 30), true);
    CloseOnEscape(this);
}

void frmLinks::ShowProduct(const Product& product) {
    linkInfo_.clear();
    for (const char* paragraph : product.paragraphs) {
        if (paragraph != nullptr) {
            linkInfo_ += QString::fromUtf8(paragraph) + QStringLiteral("\r\n\r\n");
        }
    }
    txtlinkinfo->setPlainText(linkInfo_);
    linkAddress_ = QString::fromLatin1(product.referral);
    lblLink->setText(QString::fromLatin1(product.site));
    lblCopyright->setText(QString::fromUtf8(product.copyright));
}

void frmLinks::lblLink_Click() {
    // Before a product is chosen there is nothing to open.
    if (!linkAddress_.isEmpty()) {
        desktop_.OpenAddress(linkAddress_);
    }
}

}  // namespace tavorin
