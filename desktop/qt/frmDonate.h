#pragma once
// The Donate window: a request for donations and a picture that opens the donation page.

#include <QWidget>

namespace tavorin {

class Desktop;

class frmDonate final : public QWidget {
    Q_OBJECT

public:
    frmDonate(Desktop& desktop, const QIcon& icon, QWidget* parent = nullptr);

    void Image1_Click();

private:
    Desktop& desktop_;
};

}  // namespace tavorin
