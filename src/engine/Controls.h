#pragma once

#include <QString>

#include <cstddef>
#include <span>

namespace engine {

// The main-window controls the engine drives through its WindowPort. The
// window holds each under the objectName given in the one table of
// Controls.cpp, and resolves them all when it is built: a name that is not
// there stops the program at once instead of being ignored.
enum class Control {
    lblTempo,
    lblMessage,
    ProgressBarAttente,
    ProgressBarCopie,
    cmdAjouterDossierSource,
    cmdSupprimer,
    cmdModifierDossierSource,
    cmdModifierDossierCible,
    mnuDossiers,
    mnuTempo,
    mnuLangue,
    mnuQuitter,
    mnuDefinirLogs,
    mnuPurgeLogs,
    mnuService,
};
inline constexpr std::size_t kControlCount = std::size_t(Control::mnuService) + 1;

// What the engine does to a control, and so what the window must hold under
// its name: a label (setLabelText), a progress bar (setBarValue, setBarRange),
// or a control switched on and off (setControlEnabled: a button, a menu or a
// menu entry).
enum class ControlKind { Label, Bar, Switch };

struct ControlEntry {
    Control control;
    const char* name; // the objectName
    ControlKind kind;
};

// Every control, in the order of the enum.
std::span<const ControlEntry> controlTable();
QString controlName(Control control);
ControlKind controlKind(Control control);

} // namespace engine
