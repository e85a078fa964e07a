#include "ui/common/DocumentOpener.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace ui {

namespace {

class DesktopOpener : public DocumentOpener {
public:
    bool open(const QString& pathOrUrl, const Failed& failed) override {
        const QUrl url = QUrl::fromUserInput(pathOrUrl);
        const QString xdgOpen = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
        if (xdgOpen.isEmpty()) {
            // Qt's own way (a desktop portal, say); false where it has none.
            return QDesktopServices::openUrl(url);
        }
        // xdg-open runs as a child, its words given as words, so that its
        // exit status tells whether a program took the document (0) or none
        // could (3: no program for it, 4: the program failed). The process
        // object has no parent and goes when xdg-open ends: one still running
        // when the program ends (a browser it waits for) is left running.
        auto* process = new QProcess;
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardInputFile(QProcess::nullDevice());
        QObject::connect(process, &QProcess::finished, process,
                         [process, failed](int exitCode, QProcess::ExitStatus status) {
                             process->deleteLater();
                             if ((status != QProcess::NormalExit || exitCode != 0) && failed) {
                                 failed();
                             }
                         });
        process->start(xdgOpen, {url.isLocalFile() ? url.toLocalFile() : url.toString()});
        if (!process->waitForStarted()) {
            delete process;
            return false;
        }
        return true;
    }
};

std::unique_ptr<DocumentOpener>& current() {
    static std::unique_ptr<DocumentOpener> opener;
    return opener;
}

} // namespace

bool OuvrirDocument(const QString& pathOrUrl, DocumentOpener::Failed failed) {
    // A log deleted meanwhile, a name that is no log: nothing to hand on.
    const QUrl url = QUrl::fromUserInput(pathOrUrl);
    bool opened = !(url.isLocalFile() && !QFileInfo::exists(url.toLocalFile()));
    if (opened) {
        auto& opener = current();
        if (!opener) {
            opener = std::make_unique<DesktopOpener>();
        }
        opened = opener->open(pathOrUrl, failed);
    }
    if (!opened && failed) {
        failed();
    }
    return opened;
}

void setDocumentOpener(std::unique_ptr<DocumentOpener> opener) {
    current() = std::move(opener);
}

} // namespace ui
