#pragma once

#include <QStringList>

#include <span>

class QWidget;

namespace ui {

// One caption of a window: the control's objectName and its text in each
// language. The window itself is named by its own objectName (its title).
struct Caption {
    const char* name;
    const char* french;
    const char* english;
};

// Puts the text of the language on every control of the table, found by
// objectName under window (the window itself included): a button, check box
// or label gets it as text, a group box or menu as title, an action as text,
// the window as its title. language follows the language flag (1 French,
// anything else English). A name that is not there is a fault of the table:
// it stops a debug build at once and is reported with qCritical otherwise;
// the names not found are returned (empty when all were applied).
QStringList applyCaptions(QWidget* window, std::span<const Caption> table, int language);

// The names of the table that are not in the window (what the tests check).
QStringList missingCaptionNames(const QWidget* window, std::span<const Caption> table);

} // namespace ui
