#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace ui {

// The About box: what the program is, who made it, and its web page.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    static const QString kWebAddress;
    explicit frmAbout(QWidget* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* lblCredit = nullptr;
    QLabel* lblLink = nullptr;
    QPushButton* cmdOK = nullptr;
};

} // namespace ui
