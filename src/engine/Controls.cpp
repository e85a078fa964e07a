#include "engine/Controls.h"

namespace engine {

namespace {

constexpr ControlEntry kControls[] = {
    {Control::lblTempo, "lblTempo", ControlKind::Label},
    {Control::lblMessage, "lblMessage", ControlKind::Label},
    {Control::ProgressBarAttente, "ProgressBarAttente", ControlKind::Bar},
    {Control::ProgressBarCopie, "ProgressBarCopie", ControlKind::Bar},
    {Control::cmdAjouterDossierSource, "cmdAjouterDossierSource", ControlKind::Switch},
    {Control::cmdSupprimer, "cmdSupprimer", ControlKind::Switch},
    {Control::cmdModifierDossierSource, "cmdModifierDossierSource", ControlKind::Switch},
    {Control::cmdModifierDossierCible, "cmdModifierDossierCible", ControlKind::Switch},
    {Control::mnuDossiers, "mnuDossiers", ControlKind::Switch},
    {Control::mnuTempo, "mnuTempo", ControlKind::Switch},
    {Control::mnuLangue, "mnuLangue", ControlKind::Switch},
    {Control::mnuQuitter, "mnuQuitter", ControlKind::Switch},
    {Control::mnuDefinirLogs, "mnuDefinirLogs", ControlKind::Switch},
    {Control::mnuPurgeLogs, "mnuPurgeLogs", ControlKind::Switch},
    {Control::mnuService, "mnuService", ControlKind::Switch},
};

// Each row sits at its enum's position, so that a control is found by index.
constexpr bool inEnumOrder() {
    for (std::size_t i = 0; i < std::size(kControls); ++i) {
        if (kControls[i].control != Control(i)) {
            return false;
        }
    }
    return std::size(kControls) == kControlCount;
}
static_assert(inEnumOrder(), "the control table must follow the order of the enum");

} // namespace

std::span<const ControlEntry> controlTable() {
    return kControls;
}

QString controlName(Control control) {
    return QString::fromLatin1(kControls[std::size_t(control)].name);
}

ControlKind controlKind(Control control) {
    return kControls[std::size_t(control)].kind;
}

} // namespace engine
