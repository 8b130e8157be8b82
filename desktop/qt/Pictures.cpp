#include "desktop/qt/Pictures.h"

#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>

namespace tavorin::pictures {

QPixmap Render(const QString& picture, QSize size, qreal devicePixelRatio) {
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(picture);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (const int side : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addPixmap(Render(Icon, QSize(side, side)));
    }
    return icon;
}

QCursor LabelPointer() {
    const qreal ratio = qGuiApp != nullptr ? qGuiApp->devicePixelRatio() : 1.0;
    // Hot spot at the fingertip, in logical pixels of the 32 x 32 picture.
    return QCursor(Render(Pointer, QSize(32, 32), ratio), 11, 1);
}

}  // namespace tavorin::pictures
