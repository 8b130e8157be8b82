#include "desktop/qt/Pictures.h"

#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>

#include "desktop/Forms.h"
#include "desktop/qt/Text.h"

namespace tavorin::pictures {

QString Path(std::u16string_view name) {
    return QStringLiteral(":/pictures/") + ToQString(name) + QStringLiteral(".svg");
}

QPixmap Render(const QString& path, QSize size, qreal devicePixelRatio) {
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(path);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (const int side : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addPixmap(Render(Path(forms::picture::Icon), QSize(side, side)));
    }
    return icon;
}

QCursor LabelPointer() {
    const qreal ratio = qGuiApp != nullptr ? qGuiApp->devicePixelRatio() : 1.0;
    // Hot spot at the fingertip, in logical pixels of the 32 x 32 picture.
    return QCursor(Render(Path(forms::picture::Pointer), QSize(32, 32), ratio), 11, 1);
}

}  // namespace tavorin::pictures
