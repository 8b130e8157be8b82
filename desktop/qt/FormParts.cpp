#include "desktop/qt/FormParts.h"

#include <QFontDatabase>
#include <QFrame>
#include <QLabel>
#include <QShortcut>

#include "desktop/qt/LabelButton.h"
#include "desktop/qt/Pictures.h"
#include "desktop/qt/Text.h"

namespace tavorin {

QFont ToQFont(const forms::Font& font, const QFont& formFont) {
    if (font.Empty()) {
        return formFont;
    }
    if (!font.fixed) {
        QFont made(ToQString(font.name), font.points);
        if (font.bold) {
            made.setBold(true);
        }
        return made;
    }
    QFont made = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    made.setPointSize(font.points);
    return made;
}

void Place(QWidget* widget, const forms::Control& control) {
    widget->setObjectName(QString::fromLatin1(control.name.data(), static_cast<qsizetype>(control.name.size())));
    const forms::Rect& r = control.where;
    widget->setGeometry(r.left, r.top, r.width, r.height);
    if (!control.tooltip.empty()) {
        widget->setToolTip(ToQString(control.tooltip));
    }
    if (!control.font.Empty()) {
        widget->setFont(ToQFont(control.font, widget->font()));
    }
}

void PlaceForm(QWidget* window, const forms::Form& form) {
    window->setObjectName(QString::fromLatin1(form.name.data(), static_cast<qsizetype>(form.name.size())));
    window->setWindowTitle(ToQString(form.caption));
    window->setFixedSize(form.width, form.height);
    window->setFont(ToQFont(form.font, window->font()));
}

QLabel* AddLabel(QWidget* parent, const forms::Control& control) {
    auto* label = new QLabel(ToQString(control.caption), parent);
    Place(label, control);
    label->setWordWrap(control.wrap);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QFrame* AddLine(QWidget* parent, const forms::Control& control) {
    auto* line = new QFrame(parent);
    line->setFrameShape(control.where.width >= control.where.height ? QFrame::HLine : QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    Place(line, control);
    return line;
}

LabelButton* AddLink(QWidget* parent, const forms::Control& control) {
    auto* link = new LabelButton(ToQString(control.caption), parent);
    Place(link, control);
    link->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    link->SetTextColour(parent->palette().color(QPalette::Link));
    QFont font = link->font();
    font.setUnderline(true);
    link->setFont(font);
    link->setCursor(Qt::PointingHandCursor);
    return link;
}

QLabel* AddPicture(QWidget* parent, const forms::Control& control) {
    auto* picture = new QLabel(parent);
    Place(picture, control);
    picture->setPixmap(pictures::Render(pictures::Path(control.picture),
                                        QSize(control.where.width, control.where.height), parent->devicePixelRatioF()));
    return picture;
}

void CloseOnEscape(QWidget* window) {
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), window);
    QObject::connect(escape, &QShortcut::activated, window, &QWidget::close);
}

}  // namespace tavorin
