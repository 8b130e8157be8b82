#pragma once
// The program's pictures, drawn as SVG and kept in the Qt resources.

#include <QCursor>
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace tavorin::pictures {

inline const QString Background = QStringLiteral(":/pictures/background.svg");
inline const QString Icon = QStringLiteral(":/pictures/tavorin.svg");
inline const QString Encrypt = QStringLiteral(":/pictures/encrypt.svg");
inline const QString Decrypt = QStringLiteral(":/pictures/decrypt.svg");
inline const QString Copy = QStringLiteral(":/pictures/copy.svg");
inline const QString Clear = QStringLiteral(":/pictures/clear.svg");
inline const QString Quit = QStringLiteral(":/pictures/quit.svg");
inline const QString Pointer = QStringLiteral(":/pictures/pointer.svg");
inline const QString About = QStringLiteral(":/pictures/about.svg");
inline const QString Donate = QStringLiteral(":/pictures/donate.svg");

// The picture drawn at size (logical pixels), sharp at the given device pixel ratio.
QPixmap Render(const QString& picture, QSize size, qreal devicePixelRatio = 1.0);

QIcon ProgramIcon();

// The pointer of the label-buttons: a hand whose fingertip is the hot spot.
QCursor LabelPointer();

// The colours of the background behind the label-buttons, darkest and lightest.
inline const QColor BackdropDark = QColor(0x12, 0x1d, 0x33);
inline const QColor BackdropLight = QColor(0x2a, 0x40, 0x66);

}  // namespace tavorin::pictures
