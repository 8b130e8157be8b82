#pragma once
// A label that works as a button: clicked by the mouse (press and release over it) or by
// Space or Enter when it has the keyboard focus, and telling when the pointer moves over it.

#include <QLabel>

namespace tavorin {

class LabelButton final : public QLabel {
    Q_OBJECT

public:
    explicit LabelButton(const QString& text, QWidget* parent = nullptr);

    void SetTextColour(const QColor& colour);
    QColor TextColour() const;

signals:
    void Clicked();
    void Hovered();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool pressed_ = false;
};

}  // namespace tavorin
