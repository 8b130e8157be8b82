// tavorin: the desktop program.
#include <QApplication>
#include <QScreen>

#include "desktop/windows/Pictures.h"
#include "desktop/windows/Platform.h"
#include "desktop/windows/frmMain.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tavorin"));
    QApplication::setApplicationVersion(QStringLiteral("1.0"));
    QApplication::setDesktopFileName(QStringLiteral("tavorin"));
    QApplication::setWindowIcon(tavorin::pictures::ProgramIcon());

    tavorin::Desktop desktop;
    tavorin::frmMain window(desktop);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        window.move(screen->availableGeometry().center() - window.rect().center());
    }
    window.show();
    return QApplication::exec();
}
