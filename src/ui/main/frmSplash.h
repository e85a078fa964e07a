#pragma once

#include <QWidget>

class QLabel;
class QTimer;

namespace ui {

// The start-up notice, and the window that shows the unknown-folder message.
class frmSplash : public QWidget {
    Q_OBJECT
public:
    frmSplash();
    void setMessage(const QString& text);
    // Shows the window without waiting: in front of the others as the
    // message window, an ordinary window as the start-up notice.
    void present();
    QString message() const;

Q_SIGNALS:
    // A key was pressed while the notice ended the program after its first
    // pass: the main window must come back.
    void restoreMainWindowRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* m_label;
    QTimer* m_flash;
};

} // namespace ui
