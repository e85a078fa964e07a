#pragma once

#include "ui/common/Captions.h"

#include <QDialog>

#include <memory>
#include <span>

namespace Ui {
class frmAvertirDossierErr;
}

namespace ui {

// How an unknown folder is reported during a pass: message and log line,
// beep, and a network message sent with "net send". Try sends the message
// as typed, without saving it. Without the NT flag the network message is
// off and cannot be switched on.
class frmAvertirDossierErr : public QDialog {
    Q_OBJECT
public:
    explicit frmAvertirDossierErr(QWidget* parent = nullptr);
    ~frmAvertirDossierErr() override;

    // The captions of its controls, by name, in both languages.
    static std::span<const Caption> captions();

private:
    void chkDossierErrNetSend_Click();
    void cmdEssayer_Click();
    void cmdOK_Click();
    std::unique_ptr<Ui::frmAvertirDossierErr> m_ui;
};

} // namespace ui
