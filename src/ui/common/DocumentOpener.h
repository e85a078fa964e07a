#pragma once

#include <QString>
#include <QStringList>

#include <memory>

namespace ui {

// Opens a file or web address with the program the desktop associates with
// it, without waiting. Every window opens documents through OuvrirDocument,
// so that tests can put a recording opener in place of the desktop.
class DocumentOpener {
public:
    virtual ~DocumentOpener() = default;
    // False when nothing could open it; no caller shows anything then.
    virtual bool open(const QString& pathOrUrl) = 0;
};

// Opens through the opener in place (the desktop's, QDesktopServices, by
// default). A local file that does not exist is handed to no opener: nothing
// opens and nothing is shown; false then.
bool OuvrirDocument(const QString& pathOrUrl);

// Puts another opener in place (nullptr: the desktop's again).
void setDocumentOpener(std::unique_ptr<DocumentOpener> opener);

// What tests install: records each path and opens nothing.
class RecordingOpener : public DocumentOpener {
public:
    bool open(const QString& pathOrUrl) override {
        opened << pathOrUrl;
        return true;
    }
    QStringList opened;
};

} // namespace ui
