#pragma once
// The program's pictures, drawn as SVG and kept in the Qt resources under the names of the
// form tables (desktop/Forms.h).

#include <QColor>
#include <QCursor>
#include <QIcon>
#include <QPixmap>
#include <QString>

#include <string_view>

#include "desktop/Contrast.h"

namespace tavorin::pictures {

// The resource of a picture name such as forms::picture::Encrypt.
QString Path(std::u16string_view name);

// The picture drawn at size (logical pixels), sharp at the given device pixel ratio.
QPixmap Render(const QString& path, QSize size, qreal devicePixelRatio = 1.0);

QIcon ProgramIcon();

// The pointer of the label-buttons: a hand whose fingertip is the hot spot.
QCursor LabelPointer();

inline QColor ToQColor(Rgb c) { return QColor::fromRgbF(float(c.red), float(c.green), float(c.blue)); }
inline Rgb ToRgb(const QColor& c) { return {c.redF(), c.greenF(), c.blueF()}; }

}  // namespace tavorin::pictures
