#pragma once
// Qt controls made from the rows of a form table (desktop/Forms.h): each gets its name,
// place, caption, tooltip and font from its row.

#include <QString>

#include <string_view>

#include "desktop/Forms.h"

class QFont;
class QFrame;
class QLabel;
class QWidget;

namespace tavorin {

class LabelButton;

// The table's font; an empty one is the form's own.
QFont ToQFont(const forms::Font& font, const QFont& formFont);
// Name, place, tooltip and font of the row.
void Place(QWidget* widget, const forms::Control& control);
// A window of the table's size, caption, font and name.
void PlaceForm(QWidget* window, const forms::Form& form);

// A label aligned to its top left, as the secondary windows have them.
QLabel* AddLabel(QWidget* parent, const forms::Control& control);
QFrame* AddLine(QWidget* parent, const forms::Control& control);
// A label drawn as a link that opens nothing by itself: callers connect its Clicked().
LabelButton* AddLink(QWidget* parent, const forms::Control& control);
// A picture of the row, drawn at its size.
QLabel* AddPicture(QWidget* parent, const forms::Control& control);
// Escape closes the window, as it closes a dialog.
void CloseOnEscape(QWidget* window);

}  // namespace tavorin
