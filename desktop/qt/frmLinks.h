#pragma once
// The Recommended Links window: five products of other vendors; choosing one shows its
// description, its copyright line and a link to its site.

#include <QWidget>

class QLabel;
class QPlainTextEdit;

namespace tavorin {

namespace forms {
struct Product;
}

class Desktop;
class LabelButton;

class frmLinks final : public QWidget {
    Q_OBJECT

public:
    frmLinks(Desktop& desktop, const QIcon& icon, QWidget* parent = nullptr);

    // The description last shown, and the address a click on the link opens.
    const QString& LinkInfo() const noexcept { return linkInfo_; }
    const QString& LinkAddress() const noexcept { return linkAddress_; }

    void lblLink_Click();

private:
    void ShowProduct(const forms::Product& product);

    Desktop& desktop_;
    QString linkInfo_;
    QString linkAddress_;
    QPlainTextEdit* txtlinkinfo = nullptr;
    LabelButton* lblLink = nullptr;
    QLabel* lblCopyright = nullptr;
};

}  // namespace tavorin
