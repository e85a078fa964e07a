#pragma once

#include "ui/common/Captions.h"

#include <QDialog>

#include <memory>
#include <span>

namespace Ui {
class frmTempo;
}

namespace ui {

// The default wait between two passes, 1 to 60000 seconds. OK stores it in
// memory and in the parameters file; the caller then restarts the wait bar
// and the countdown from it. Cancel changes nothing.
class frmTempo : public QDialog {
    Q_OBJECT
public:
    explicit frmTempo(QWidget* parent = nullptr);
    ~frmTempo() override;

    // The captions of its controls, by name, in both languages.
    static std::span<const Caption> captions();

private:
    void UpDown1_DownClick();
    void UpDown1_UpClick();
    void cmdOK_Click();
    std::unique_ptr<Ui::frmTempo> m_ui;
};

} // namespace ui
