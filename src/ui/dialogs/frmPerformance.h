#pragma once

#include "ui/common/Captions.h"

#include <QDialog>

#include <memory>
#include <span>

namespace Ui {
class frmPerformance;
}

namespace ui {

// How many rounds of pending window events the engine lets run at each
// yield point, 1 to 100 on a scroll bar. A stored value outside that range is
// shown at the nearer end. Only OK stores the position.
class frmPerformance : public QDialog {
    Q_OBJECT
public:
    explicit frmPerformance(QWidget* parent = nullptr);
    ~frmPerformance() override;

    // The captions of its controls, by name, in both languages.
    static std::span<const Caption> captions();

private:
    void cmdOK_Click();
    std::unique_ptr<Ui::frmPerformance> m_ui;
};

} // namespace ui
