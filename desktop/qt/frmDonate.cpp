#include "desktop/qt/frmDonate.h"

#include <QLabel>

#include "desktop/qt/Addresses.h"
#include "desktop/qt/LabelButton.h"
#include "desktop/qt/Pictures.h"
#include "desktop/qt/Platform.h"
#include "desktop/qt/SmallWindows.h"

namespace tavorin {

frmDonate::frmDonate(Desktop& desktop, const QIcon& icon, QWidget* parent) : QWidget(parent), desktop_(desktop) {
    setObjectName(QStringLiteral("frmDonate"));
    setWindowTitle(QStringLiteral("Donate"));
    setWindowIcon(icon);
    setFixedSize(400, 200);
    setFont(QFont(QStringLiteral("Arial"), 9));
    AddLabel(this, "Label1",
             QStringLiteral("Tavorin is a free to use program, but we do need and appreciate your donations. Any "
                            "amount is acceptible. Donations are used to further improve our products and provide "
                            "better support to our customers. Thank You"),
             QRect(16, 16, 368, 90), true);
    auto* image = new LabelButton(QString(), this);
    image->setObjectName(QStringLiteral("Image1"));
    image->setGeometry(136, 120, 128, 56);
    image->setPixmap(pictures::Render(pictures::Donate, QSize(128, 56), devicePixelRatioF()));
    image->setCursor(Qt::PointingHandCursor);
    image->setToolTip(address::Donation);
    connect(image, &LabelButton::Clicked, this, &frmDonate::Image1_Click);
    CloseOnEscape(this);
}

void frmDonate::Image1_Click() { desktop_.OpenAddress(address::Donation); }

}  // namespace tavorin
