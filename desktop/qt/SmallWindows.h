#pragma once
// What the secondary windows share: plain labels, separator lines and links.

#include <QString>

class QFrame;
class QLabel;
class QRect;
class QWidget;

namespace tavorin {

class Desktop;
class LabelButton;

QLabel* AddLabel(QWidget* parent, const char* name, const QString& text, const QRect& where, bool wrap = false);
QFrame* AddLine(QWidget* parent, const char* name, const QRect& where);
// A label drawn as a link that opens nothing by itself: callers connect its clicked().
LabelButton* AddLink(QWidget* parent, const char* name, const QString& text, const QRect& where);
// Escape closes the window, as it closes a dialog.
void CloseOnEscape(QWidget* window);

}  // namespace tavorin
