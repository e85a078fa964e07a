#include "ui/dialogs/frmAide.h"

#include "config/Language.h"
#include "config/ProgramValues.h"
#include "ui/common/DocumentOpener.h"
#include "ui/main/Dialogs.h"
#include "ui/main/UiSupport.h"

#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace ui {

namespace {

const Caption kCaptions[] = {
    {"frmAide", "Velmorado - Aide", "Velmorado - Help"},
    {"cmdFermer", "&Fermer", "&Close"},
};

} // namespace

std::span<const Caption> frmAide::captions() {
    return kCaptions;
}

frmAide::frmAide(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAide"));
    setWindowIcon(programIcon("velmorado"));
    setSizeGripEnabled(true);
    auto* root = new QVBoxLayout(this);
    txtAide = new QTextBrowser(this);
    txtAide->setObjectName(QStringLiteral("txtAide"));
    txtAide->setOpenLinks(false);
    root->addWidget(txtAide, 1);
    auto* buttons = new QHBoxLayout;
    cmdFermer = new QPushButton(this);
    cmdFermer->setObjectName(QStringLiteral("cmdFermer"));
    cmdFermer->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(cmdFermer);
    root->addLayout(buttons);
    connect(cmdFermer, &QPushButton::clicked, this, &QDialog::close);
    connect(txtAide, &QTextBrowser::anchorClicked, this, &frmAide::followLink);
    applyCaptions(this, kCaptions, config::language());
    resize(760, 620);
}

void frmAide::showPage(const QString& file) {
    applyCaptions(this, kCaptions, config::language());
    txtAide->setSource(QUrl::fromLocalFile(file));
    showNormal();
    raise();
    activateWindow();
}

QString frmAide::page() const {
    return txtAide->source().toLocalFile();
}

void frmAide::followLink(const QUrl& link) {
    const QUrl target = txtAide->source().resolved(link);
    if (target.isLocalFile()) {
        // A section of the page, or the page of the other language.
        txtAide->setSource(target);
        return;
    }
    OuvrirDocument(target.toString(), [self = QPointer<frmAide>(this), target] {
        dialogs().message(
            self, Dialogs::Icon::Exclamation, config::kProductName,
            config::pickText("Aucun programme ne peut ouvrir ", "No program can open ") +
                target.toString());
    });
}

} // namespace ui
