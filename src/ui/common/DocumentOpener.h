#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace ui {

// Opens a file or web address with the program the desktop associates with
// it, without waiting. Every window opens documents through OuvrirDocument,
// so that tests can put a recording opener in place of the desktop.
class DocumentOpener {
public:
    // Called once, from the event loop, when the desktop had no program for
    // a document it had taken on.
    using Failed = std::function<void()>;
    virtual ~DocumentOpener() = default;
    // False when nothing could be started to open it. Otherwise failed may
    // still be called later, when what was started says it could not.
    virtual bool open(const QString& pathOrUrl, const Failed& failed) = 0;
};

// Opens through the opener in place (by default the desktop's: xdg-open, or
// QDesktopServices where there is none). A local file that does not exist is
// handed to no opener. failed (when given) is called once when nothing opens
// the document: at once, with false returned, or later from the event loop,
// so that the caller can say so or show the document itself.
bool OuvrirDocument(const QString& pathOrUrl, DocumentOpener::Failed failed = {});

// Puts another opener in place (nullptr: the desktop's again).
void setDocumentOpener(std::unique_ptr<DocumentOpener> opener);

// What tests install: records each path and opens nothing; with fail set,
// opens nothing and says so.
class RecordingOpener : public DocumentOpener {
public:
    bool open(const QString& pathOrUrl, const Failed&) override {
        opened << pathOrUrl;
        return !fail;
    }
    QStringList opened;
    bool fail = false;
};

} // namespace ui
