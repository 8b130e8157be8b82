#include "desktop/qt/frmAbout.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include <array>

#include "base/Version.h"
#include "desktop/FormTexts.h"
#include "desktop/qt/FormParts.h"
#include "desktop/qt/LabelButton.h"
#include "desktop/qt/Platform.h"
#include "desktop/qt/Text.h"

namespace tavorin {

frmAbout::frmAbout(Desktop& desktop, const QIcon& icon, QWidget* parent) : QWidget(parent), desktop_(desktop) {
    const forms::Form& form = forms::About;
    PlaceForm(this, form);

    AddPicture(this, form["Image1"]);
    lblTitle = AddLabel(this, form["lblTitle"]);
    lblVersion = AddLabel(this, form["lblVersion"]);
    lblDescription = AddLabel(this, form["lblDescription"]);
    AddLine(this, form["Line1"]);
    AddLabel(this, form["Label1"]);
    const std::array<std::pair<const char*, const char*>, 5> links = {{
        {"Label2", "lblBlowfish"},
        {"Label3", "lblDES"},
        {"Label4", "lblGost"},
        {"Label5", "lblSkipJack"},
        {"Label6", "lblTwofish"},
    }};
    for (const auto& [name, link] : links) {
        AddLabel(this, form[name]);
        LabelButton* label = AddLink(this, form[link]);
        // The caption is the address a click opens.
        connect(label, &LabelButton::Clicked, this, [this, label] { desktop_.OpenAddress(label->text()); });
    }
    AddLine(this, form["Line2"]);
    lblDisclaimer = AddLabel(this, form["lblDisclaimer"]);

    cmdOK = new QPushButton(ToQString(form["cmdOK"].caption), this);
    Place(cmdOK, form["cmdOK"]);
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    cmdSysInfo = new QPushButton(ToQString(form["cmdSysInfo"].caption), this);
    Place(cmdSysInfo, form["cmdSysInfo"]);
    cmdSysInfo->setAutoDefault(true);  // Enter on it, once it has the focus, starts the tool
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
    setTabOrder(cmdOK, cmdSysInfo);
    cmdOK->setFocus();
    CloseOnEscape(this);

    Form_Load(icon);
}

void frmAbout::Form_Load(const QIcon& icon) {
    setWindowTitle(ToQString(forms::AboutCaption()));
    lblVersion->setText(ToQString(forms::AboutVersionCaption(VersionMajor, VersionMinor)));
    lblTitle->setText(ToQString(forms::ApplicationTitle));
    lblDescription->setText(ToQString(forms::AboutDescription));
    setWindowIcon(icon);
    lblDisclaimer->setText(ToQString(forms::AboutDisclaimer));
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
