#include "desktop/qt/SmallWindows.h"

#include <QFrame>
#include <QLabel>
#include <QShortcut>

#include "desktop/qt/LabelButton.h"

namespace tavorin {

QLabel* AddLabel(QWidget* parent, const char* name, const QString& text, const QRect& where, bool wrap) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(where);
    label->setWordWrap(wrap);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QFrame* AddLine(QWidget* parent, const char* name, const QRect& where) {
    auto* line = new QFrame(parent);
    line->setObjectName(QString::fromLatin1(name));
    line->setFrameShape(where.width() >= where.height() ? QFrame::HLine : QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(where);
    return line;
}

LabelButton* AddLink(QWidget* parent, const char* name, const QString& text, const QRect& where) {
    auto* link = new LabelButton(text, parent);
    link->setObjectName(QString::fromLatin1(name));
    link->setGeometry(where);
    link->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    link->SetTextColour(parent->palette().color(QPalette::Link));
    QFont font = link->font();
    font.setUnderline(true);
    link->setFont(font);
    link->setCursor(Qt::PointingHandCursor);
    link->setToolTip(text);
    return link;
}

void CloseOnEscape(QWidget* window) {
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), window);
    QObject::connect(escape, &QShortcut::activated, window, &QWidget::close);
}

}  // namespace tavorin
