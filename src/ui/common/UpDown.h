#pragma once

#include <QWidget>

class QToolButton;

namespace ui {

// Up and down arrows beside a text box, with no value of their own: each
// click (repeated while held) is a signal, and the dialog decides what the
// text becomes. The arrows are the children named "up" and "down".
class UpDown : public QWidget {
    Q_OBJECT
public:
    explicit UpDown(QWidget* parent = nullptr);

Q_SIGNALS:
    void upClicked();
    void downClicked();

private:
    QToolButton* m_up;
    QToolButton* m_down;
};

} // namespace ui
