#pragma once

#include "ui/common/Captions.h"

#include <QDialog>

#include <memory>
#include <span>

namespace Ui {
class frmPathLogs;
}

namespace ui {

// Daily logs on or off, file names in them on or off, and their folder: the
// volumes of the machine (mount points) and a directory tree. The folder
// stored is the one opened in the tree and shown in lblDossier. Unticking
// chkLogs greys the rest, but OK stores it all the same. OK refuses, with a
// message and nothing stored, a folder that is the source or the target of a
// pair (the same directory, however its path is written).
class frmPathLogs : public QDialog {
    Q_OBJECT
public:
    explicit frmPathLogs(QWidget* parent = nullptr);
    ~frmPathLogs() override;

    // The captions of its controls, by name, in both languages.
    static std::span<const Caption> captions();

private:
    void chkLogs_Click();
    void Lecteurs_Change();
    void selectDriveOf(const QString& folder);
    void cmdOK_Click();
    std::unique_ptr<Ui::frmPathLogs> m_ui;
};

} // namespace ui
