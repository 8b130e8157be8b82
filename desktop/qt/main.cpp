// tavorin: the desktop program.
#include <QApplication>
#include <QScreen>

#include <cstdio>
#include <cstring>

#include "base/Memory.h"
#include "base/Version.h"
#include "desktop/qt/Pictures.h"
#include "desktop/qt/Platform.h"
#include "desktop/qt/frmMain.h"

namespace {

// --help and --version answer before the application object exists, since it needs a display.
bool Answered(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::printf(
                "Usage: tavorin [OPTION]\n\n"
                "Protects a short text message with a key and one of five ciphers, as an envelope of\n"
                "hexadecimal pairs to paste into an e-mail, and opens such envelopes again, in a window.\n"
                "tavorin-cli does the same from a terminal.\n\n"
                "Options:\n"
                "  -h, --help     show this help and exit\n"
                "  -V, --version  show the version and exit\n"
                "Qt's own options (such as -platform offscreen) are accepted too.\n");
            return true;
        }
        if (std::strcmp(arg, "--version") == 0 || std::strcmp(arg, "-V") == 0) {
            std::printf("tavorin %s\n", tavorin::Version);
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
