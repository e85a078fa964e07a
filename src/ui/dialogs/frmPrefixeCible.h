#pragma once

#include "ui/common/Captions.h"

#include <QDialog>

#include <memory>
#include <span>

namespace Ui {
class frmPrefixeCible;
}

namespace ui {

// The two-character prefix of the archives that compression makes. OK trims
// the spaces around the text, refuses what config::prefixFault finds (a wrong
// length first, then a character that cannot be in a file name, then a
// leading dot) and stores the prefix in upper case.
class frmPrefixeCible : public QDialog {
    Q_OBJECT
public:
    explicit frmPrefixeCible(QWidget* parent = nullptr);
    ~frmPrefixeCible() override;

    // The captions of its controls, by name, in both languages.
    static std::span<const Caption> captions();

private:
    void cmdOK_Click();
    std::unique_ptr<Ui::frmPrefixeCible> m_ui;
};

} // namespace ui
