// Folder entry of the main window: adding a pair from its source folder,
// changing either folder of the selected pair, removing selected pairs.
#include "config/FolderPairs.h"
#include "config/Language.h"
#include "config/ProgramValues.h"
#include "ui/dialogs/frmSetMode.h"
#include "ui/main/Dialogs.h"
#include "ui/main/PairGrid.h"
#include "ui/main/UiSupport.h"
#include "ui/main/frmKestrune.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace ui {

namespace {

QString prompt(frmKestrune::Folder folder, frmKestrune::Action action) {
    if (action == frmKestrune::Action::Add) {
        return config::pickText("AJOUTER: choisir un dossier SOURCE",
                                "ADD: select a SOURCE folder");
    }
    return folder == frmKestrune::Folder::Source
               ? config::pickText("MODIFIER: Choisir un dossier SOURCE",
                                  "MODIFY: Select a SOURCE folder")
               : config::pickText("MODIFIER: Choisir un dossier CIBLE",
                                  "MODIFY: Select a TARGET folder");
}

// A typed path that still carries the grid's marks is the folder itself: the
// offered "??? /data/in" of a missing folder means /data/in, and the "???"
// of an unset target means no folder at all.
QString withoutGridMarks(const QString& typed) {
    if (typed == config::kNoTargetMark) {
        return QString();
    }
    if (typed.startsWith(config::kMissingFolderMark)) {
        return typed.mid(config::kMissingFolderMark.size());
    }
    return typed;
}

} // namespace

void frmKestrune::EnterFolder(Folder folder, How how, Action action) {
    PairGrid* grid = lstDossiers;
    const int column = folder == Folder::Source ? 0 : 2;
    int row = -1;
    // A change needs a selected pair.
    if (action == Action::Change) {
        if (grid->rowCount() == 0 || !grid->selectionMark()) {
            dialogs().message(this, Dialogs::Icon::Information, config::kProductName,
                              folder == Folder::Source
                                  ? config::pickText("Sélectionner un dossier SOURCE à modifier",
                                                     "Select a SOURCE folder to modify")
                                  : config::pickText("Sélectionner un dossier CIBLE à modifier",
                                                     "Select a TARGET folder to modify"));
            return;
        }
        row = grid->currentRow();
    } else if (config::folderPairs().pairs.size() >= config::kMaxPairs) {
        dialogs().message(
            this, Dialogs::Icon::Exclamation, config::kProductName,
            config::pickText("La liste des couples de dossiers est pleine (32767 au plus)",
                             "The list of folder pairs is full (32767 at most)"));
        return;
    }
    config::FolderPair* pair =
        action == Action::Change ? config::folderPairs().pair(grid->pairNumber(row)) : nullptr;
    if (action == Action::Change && !pair) {
        return;
    }

    // The path.
    std::optional<QString> answer;
    if (how == How::Browse) {
        QString start;
        if (pair) {
            const QString current = folder == Folder::Source ? pair->source : pair->target;
            if (!current.isEmpty() && QFileInfo(current).isDir()) {
                start = current;
            }
        }
        answer = dialogs().browseFolder(this, prompt(folder, action), start);
    } else {
        const QString initial =
            action == Action::Change ? grid->cellText(row, column).trimmed() : QString();
        answer = dialogs().input(this, config::kProductName, prompt(folder, action), initial);
        if (answer) {
            answer = withoutGridMarks(*answer);
        }
    }
    // Cancelled or empty: nothing changes.
    if (!answer || answer->isEmpty()) {
        return;
    }
    const QString path = *answer;

    // Apply.
    if (action == Action::Add) {
        const int number = grid->rowCount() + 1;
        config::FolderPair added;
        added.source = path;
        if (!config::folderPairs().place(number, added)) {
            return; // past the last pair number: the full list was refused above
        }
        grid->appendProvisionalRow(path, number);
    } else if (folder == Folder::Source) {
        pair->source = path;
    } else {
        pair->target = path;
    }

    // Save, then reload everything.
    saveAndReload();

    // A pair added by browsing goes straight to its parameters.
    if (action == Action::Add && how == How::Browse && grid->rowCount() > 0) {
        const int last = grid->rowCount() - 1;
        grid->selectBlock(last, last);
        openSetMode();
    }
}

void frmKestrune::cmdSupprimer_Click() {
    PairGrid* grid = lstDossiers;
    if (grid->rowCount() == 0) {
        dialogs().message(
            this, Dialogs::Icon::Information, config::kProductName,
            config::pickText("La liste des couples de dossiers (source+cible) est vide",
                             "Nothing to remove"));
        return;
    }
    if (!grid->selectionMark()) {
        dialogs().message(
            this, Dialogs::Icon::Information, config::kProductName,
            config::pickText("Sélectionner un couple de dossiers (source+cible) à supprimer",
                             "Select a couple of folders (source+target) to remove"));
        return;
    }
    if (!dialogs().question(this, config::kProductName,
                            config::pickText("Confirmez la suppression des dossiers sélectionnés",
                                             "Remove the selected folders"))) {
        return;
    }
    const int a = grid->currentRow();
    const int b = grid->selectionEndRow();
    const int first = std::min(a, b);
    const int last = std::max(a, b);
    if (grid->rowCount() == 1 || (first <= 0 && last >= grid->rowCount() - 1)) {
        grid->setRowCount(0);
    } else {
        for (int r = last; r >= first; --r) {
            grid->removeRow(r);
        }
    }
    saveAndReload();
}

void frmKestrune::saveAndReload() {
    WaitCursor wait;
    config::SaveFolderPairs(lstDossiers->rowPairNumbers());
    QCoreApplication::processEvents();
    reloadFolderPairs();
}

void frmKestrune::openSetMode() {
    if (lstDossiers->currentRow() < 0) {
        return;
    }
    frmSetMode dialog(
        lstDossiers, [this] { reloadFolderPairs(); }, this);
    dialog.exec();
}

} // namespace ui
