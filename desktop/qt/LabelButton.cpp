#include "desktop/qt/LabelButton.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace tavorin {

LabelButton::LabelButton(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setMouseTracking(true);
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_NoMousePropagation);
}

void LabelButton::SetTextColour(const QColor& colour) {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, colour);
    setPalette(p);
}

QColor LabelButton::TextColour() const { return palette().color(QPalette::WindowText); }

void LabelButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        pressed_ = true;
    }
    event->accept();
}

void LabelButton::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    event->accept();
    if (click) {
        emit Clicked();
    }
}

void LabelButton::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    emit Hovered();
}

void LabelButton::enterEvent(QEnterEvent* event) {
    QLabel::enterEvent(event);
    emit Hovered();
}

void LabelButton::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        emit Clicked();
        return;
    default:
        QLabel::keyPressEvent(event);
    }
}

void LabelButton::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (!hasFocus()) {
        return;
    }
    // A dotted frame in the text's own colour shows on any background.
    QPainter painter(this);
    painter.setPen(QPen(TextColour(), 1, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace tavorin
