#include "desktop/qt/frmLinks.h"

#include <QLabel>
#include <QPlainTextEdit>

#include "desktop/FormTexts.h"
#include "desktop/qt/FormParts.h"
#include "desktop/qt/LabelButton.h"
#include "desktop/qt/Platform.h"
#include "desktop/qt/Text.h"

namespace tavorin {

frmLinks::frmLinks(Desktop& desktop, const QIcon& icon, QWidget* parent) : QWidget(parent), desktop_(desktop) {
    const forms::Form& form = forms::Links;
    PlaceForm(this, form);
    setWindowIcon(icon);  // the main window's

    AddLabel(this, form["Label2"]);
    AddLabel(this, form["Label3"]);
    for (const forms::Product& product : forms::Products) {
        LabelButton* label = AddLink(this, form[product.name]);
        connect(label, &LabelButton::Clicked, this, [this, label, &product] {
            label->setFocus();  // the focus frame goes with the choice, chosen by mouse or key
            ShowProduct(product);
        });
    }
    AddLine(this, form["Line1"]);
    txtlinkinfo = new QPlainTextEdit(this);
    Place(txtlinkinfo, form["txtlinkinfo"]);
    txtlinkinfo->setReadOnly(true);
    AddLine(this, form["Line2"]);
    AddLabel(this, form["Label1"]);
    lblLink = AddLink(this, form["lblLink"]);
    connect(lblLink, &LabelButton::Clicked, this, &frmLinks::lblLink_Click);
    lblCopyright = AddLabel(this, form["lblCopyright"]);
    CloseOnEscape(this);
}

void frmLinks::ShowProduct(const forms::Product& product) {
    linkInfo_ = ToQString(forms::ProductInfo(product));
    txtlinkinfo->setPlainText(linkInfo_);
    linkAddress_ = ToQString(product.referral);
    lblLink->setText(ToQString(product.site));
    lblCopyright->setText(ToQString(product.copyright));
}

void frmLinks::lblLink_Click() {
    // Before a product is chosen there is nothing to open.
    if (!linkAddress_.isEmpty()) {
        desktop_.OpenAddress(linkAddress_);
    }
}

}  // namespace tavorin
