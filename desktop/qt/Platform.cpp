#include "desktop/qt/Platform.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include "base/Memory.h"
#include "desktop/FormTexts.h"
#include "desktop/qt/Text.h"

namespace tavorin {

void KeepLargeBuffers() noexcept {
    // A command makes and drops texts of tens of MiB (an envelope's text takes six bytes for
    // each byte of the message). Kept in the heap, their pages serve the next command; handed
    // back, every command would wait for the system to clear fresh ones.
    SetLargeBlockPolicy(std::size_t{32} << 20, std::size_t{128} << 20);
}

namespace {

// System information programs, the most complete first.
const QStringList& SysInfoPrograms() {
    static const QStringList programs = {QStringLiteral("hardinfo"), QStringLiteral("hardinfo2"),
                                         QStringLiteral("kinfocenter"), QStringLiteral("gnome-system-monitor"),
                                         QStringLiteral("xfce4-taskmanager")};
    return programs;
}

}  // namespace

std::optional<QString> SystemToolStore::Query(KeyRoot root, const QString& keyName, const QString& valueName) const {
    if (root != KeyRoot::LocalMachine) {
        return std::nullopt;
    }
    if (keyName == SysInfoKey && valueName == SysInfoValue) {
        for (const QString& program : SysInfoPrograms()) {
            const QString path = QStandardPaths::findExecutable(program);
            if (!path.isEmpty()) {
                return path;
            }
        }
        return std::nullopt;
    }
    if (keyName == SysInfoFolderKey && valueName == SysInfoFolderValue) {
        // Where Debian installs it, for a session whose PATH leaves that folder out.
        return QStringLiteral("/usr/bin");
    }
    return std::nullopt;
}

bool GetKeyValue(const ToolStore& store, KeyRoot root, const QString& keyName, const QString& valueName,
                 QString& value) {
    value.clear();
    std::optional<QString> found = store.Query(root, keyName, valueName);
    if (!found || found->toUtf8().size() > MaxValueBytes) {
        return false;
    }
    if (found->endsWith(QChar(u'\0'))) {
        found->chop(1);
    }
    value = *found;
    return true;
}

void Desktop::OpenAddress(const QString& address) { QDesktopServices::openUrl(QUrl(address)); }

bool Desktop::StartProgram(const QString& path) { return QProcess::startDetached(path, {}); }

bool Desktop::FileExists(const QString& path) { return QFileInfo(path).isFile(); }

const ToolStore& Desktop::Tools() { return tools_; }

void ShowBox(QWidget* parent, const QString& text, MessageIcon icon, const QString& title) {
    QMessageBox box(parent);
    box.setWindowTitle(title.isEmpty() ? ToQString(forms::ApplicationTitle) : title);
    // The box is a label: show a CR LF as one line break, not as a break and a stray glyph.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    box.setText(shown);
    box.setTextFormat(Qt::PlainText);
    switch (icon) {
    case MessageIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MessageIcon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case MessageIcon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case MessageIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

std::optional<QString> FindSysInfo(Desktop& desktop) {
    QString path;
    if (GetKeyValue(desktop.Tools(), KeyRoot::LocalMachine, SysInfoKey, SysInfoValue, path)) {
        return path;
    }
    QString folder;
    if (!GetKeyValue(desktop.Tools(), KeyRoot::LocalMachine, SysInfoFolderKey, SysInfoFolderValue, folder)) {
        return std::nullopt;
    }
    const QString candidate = folder + QStringLiteral("/") + SysInfoProgram;
    if (!desktop.FileExists(candidate)) {
        return std::nullopt;
    }
    return candidate;
}

bool StartSysInfo(Desktop& desktop, QWidget* parent) {
    const std::optional<QString> path = FindSysInfo(desktop);
    if (path && desktop.StartProgram(*path)) {
        return true;
    }
    ShowBox(parent, ToQString(forms::SysInfoUnavailable), MessageIcon::None, ToQString(forms::ApplicationTitle));
    return false;
}

}  // namespace tavorin
