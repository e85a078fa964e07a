#pragma once

#include "ui/common/Captions.h"

#include <QDialog>

#include <memory>
#include <span>

namespace Ui {
class frmPurgeLogs;
}

namespace ui {

// The automatic removal of old daily logs and how many days of logs remain
// (2 to 366). The number is checked on OK whether or not removal is ticked;
// the caller then sets the menu's check mark from the stored flag.
class frmPurgeLogs : public QDialog {
    Q_OBJECT
public:
    explicit frmPurgeLogs(QWidget* parent = nullptr);
    ~frmPurgeLogs() override;

    // The captions of its controls, by name, in both languages.
    static std::span<const Caption> captions();

private:
    void UpDown1_DownClick();
    void UpDown1_UpClick();
    void cmdOK_Click();
    std::unique_ptr<Ui::frmPurgeLogs> m_ui;
};

} // namespace ui
