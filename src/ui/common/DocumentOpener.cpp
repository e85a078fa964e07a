#include "ui/common/DocumentOpener.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace ui {

namespace {

class DesktopOpener : public DocumentOpener {
public:
    bool open(const QString& pathOrUrl) override {
        // False where no program is associated (no xdg-open): nothing is shown.
        return QDesktopServices::openUrl(QUrl::fromUserInput(pathOrUrl));
    }
};

std::unique_ptr<DocumentOpener>& current() {
    static std::unique_ptr<DocumentOpener> opener;
    return opener;
}

} // namespace

bool OuvrirDocument(const QString& pathOrUrl) {
    // A log deleted meanwhile, a name that is no log: nothing to hand on.
    const QUrl url = QUrl::fromUserInput(pathOrUrl);
    if (url.isLocalFile() && !QFileInfo::exists(url.toLocalFile())) {
        return false;
    }
    auto& opener = current();
    if (!opener) {
        opener = std::make_unique<DesktopOpener>();
    }
    return opener->open(pathOrUrl);
}

void setDocumentOpener(std::unique_ptr<DocumentOpener> opener) {
    current() = std::move(opener);
}

} // namespace ui
