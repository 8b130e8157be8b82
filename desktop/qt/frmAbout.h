#pragma once
// The About window: the program's name, version, description and warning, a link per
// cipher to a public page about it, and a button that starts the system information tool.

#include <QWidget>

class QLabel;
class QPushButton;

namespace tavorin {

class Desktop;
class LabelButton;

class frmAbout final : public QWidget {
    Q_OBJECT

public:
    frmAbout(Desktop& desktop, const QIcon& icon, QWidget* parent = nullptr);

    void cmdOK_Click();
    void cmdSysInfo_Click();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Form_Load(const QIcon& icon);

    Desktop& desktop_;
    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblDescription = nullptr;
    QLabel* lblDisclaimer = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdSysInfo = nullptr;
};

}  // namespace tavorin
