#pragma once

#include "ui/common/Captions.h"

#include <QDialog>

#include <span>

class QPushButton;
class QTextBrowser;

namespace ui {

// The help page in a window of the program's own, for a desktop with no
// program to open it. The page is one self-contained HTML file (its pictures
// in help-images/ beside it); its links to its own sections and to the page
// of the other language are followed here, any other goes to OuvrirDocument.
// Not modal: the main window stays usable beside it.
class frmAide : public QDialog {
    Q_OBJECT
public:
    explicit frmAide(QWidget* parent = nullptr);

    // Shows the page of file (the help of the language in use), captions in
    // that language, and brings the window to the front.
    void showPage(const QString& file);
    QString page() const;

    // The captions of its controls, by name, in both languages.
    static std::span<const Caption> captions();

private:
    void followLink(const QUrl& link);
    QTextBrowser* txtAide;
    QPushButton* cmdFermer;
};

} // namespace ui
