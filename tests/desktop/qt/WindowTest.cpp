#include "WindowTest.h"

#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "desktop/qt/LabelButton.h"
#include "desktop/qt/Text.h"

namespace tavorin::testing {

void MainWindowTest::Choose(const QString& cipher) {
    auto* list = Child<QComboBox>("cboEncryption");
    const int line = list->findText(cipher);
    ASSERT_GE(line, 0) << cipher.toStdString();
    list->setCurrentIndex(line);
}

void MainWindowTest::Click(const char* name) {
    auto* label = Child<LabelButton>(name);
    QTest::mouseClick(label, Qt::LeftButton);
}

void MainWindowTest::SetKey(const QString& key) {
    auto* field = Child<QLineEdit>("txtEncKey");
    field->clear();
    bool ascii = true;
    for (const QChar c : key) {
        ascii = ascii && c.unicode() >= 0x20 && c.unicode() < 0x7f;
    }
    if (ascii) {
        QTest::keyClicks(field, key);  // typed, as a user does
    } else {
        field->insert(key);  // the test library types ASCII only
    }
}

void MainWindowTest::TypeMessage(const QString& text) { window->SetMessageText(ToU16(text)); }

QString MainWindowTest::Status() const { return Child<QLabel>("lblResult")->text(); }

QString MainWindowTest::LengthLine() const { return Child<QLabel>("lblLength")->text(); }

std::vector<QString> MainWindowTest::AvailableCiphers() const {
    std::vector<QString> names;
    for (const frmMain::EngineEntry& entry : window->EngineList()) {
        if (entry.engine != nullptr) {
            names.push_back(ToQString(entry.name));
        }
    }
    return names;
}

}  // namespace tavorin::testing
