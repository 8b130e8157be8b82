// tavorin: the desktop program.
#include <QApplication>
#include <QScreen>

#include <cstdio>
#include <cstring>

#include "base/Memory.h"
#include "base/Version.h"
#include "desktop/FormTexts.h"
#include "desktop/qt/Pictures.h"
#include "desktop/qt/Platform.h"
#include "desktop/qt/frmMain.h"

namespace {

// --help and --version answer before the application object exists, since it needs a display.
bool Answered(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::fputs(tavorin::forms::UsageText.data(), stdout);
            std::fputs("Qt's own options (such as -platform offscreen) are accepted too.\n", stdout);
            return true;
        }
        if (std::strcmp(arg, "--version") == 0 || std::strcmp(arg, "-V") == 0) {
            std::fputs(tavorin::forms::VersionText().c_str(), stdout);
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (Answered(argc, argv)) {
        return 0;
    }
    tavorin::DisableCoreDumps();
    tavorin::KeepLargeBuffers();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tavorin"));
    QApplication::setApplicationVersion(QString::fromLatin1(tavorin::Version));
    QApplication::setDesktopFileName(QStringLiteral("org.tavorin.tavorin"));
    QApplication::setWindowIcon(tavorin::pictures::ProgramIcon());

    tavorin::Desktop desktop;
    tavorin::frmMain window(desktop);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        window.move(screen->availableGeometry().center() - window.rect().center());
    }
    window.show();
    return QApplication::exec();
}
