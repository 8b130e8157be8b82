#include "desktop/qt/frmDonate.h"

#include <QLabel>

#include "desktop/FormTexts.h"
#include "desktop/qt/FormParts.h"
#include "desktop/qt/LabelButton.h"
#include "desktop/qt/Pictures.h"
#include "desktop/qt/Platform.h"
#include "desktop/qt/Text.h"

namespace tavorin {

frmDonate::frmDonate(Desktop& desktop, const QIcon& icon, QWidget* parent) : QWidget(parent), desktop_(desktop) {
    const forms::Form& form = forms::Donate;
    PlaceForm(this, form);
    setWindowIcon(icon);
    AddLabel(this, form["Label1"]);
    const forms::Control& picture = form["Image1"];
    auto* image = new LabelButton(QString(), this);
    Place(image, picture);
    image->setPixmap(pictures::Render(pictures::Path(picture.picture), QSize(picture.where.width, picture.where.height),
                                      devicePixelRatioF()));
    image->setCursor(Qt::PointingHandCursor);
    connect(image, &LabelButton::Clicked, this, &frmDonate::Image1_Click);
    CloseOnEscape(this);
}

void frmDonate::Image1_Click() { desktop_.OpenAddress(ToQString(forms::address::Donation)); }

}  // namespace tavorin
