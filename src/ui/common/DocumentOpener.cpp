#include "ui/common/DocumentOpener.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace ui {

namespace {

class DesktopOpener : public DocumentOpener {
public:
    bool open(const QString& pathOrUrl) override {
        const QUrl url = QUrl::fromUserInput(pathOrUrl);
        if (url.isLocalFile() && !QFileInfo::exists(url.toLocalFile())) {
            return false; // a log deleted meanwhile, a file name that is no log
        }
        // False where no program is associated (no xdg-open): nothing is shown.
        return QDesktopServices::openUrl(url);
    }
};

std::unique_ptr<DocumentOpener>& current() {
    static std::unique_ptr<DocumentOpener> opener;
    return opener;
}

} // namespace

bool OuvrirDocument(const QString& pathOrUrl) {
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
