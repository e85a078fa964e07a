#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

namespace engine {

// The counts of one pass: cleared when a pass starts and kept until the next
// one, which is what the summary reads.
struct PassCounts {
    qint32 files = 0;
    qint32 compressed = 0;
    qint32 uncompressed = 0;
    qint32 sourceFolders = 0;
    qint32 invalidSourceFolders = 0;
    qint32 invalidTargetFolders = 0;
};

// The processing state the whole program shares.
struct EngineState : PassCounts {
    bool stopped = true;     // processing is not running
    bool forcedPass = false; // the pass launched by a start: every enabled pair is processed
    bool passRunning = false;
    qint32 countdown = 0; // seconds before the next pass (the wait may pass 32767)

    // The counts of the last pass that ran to its end, and when it ended
    // (invalid before the first): what `velmorado --status` reports.
    PassCounts lastPass;
    QDateTime lastPassEnded;

    // The daily log of the running pass: chosen when the pass starts, it takes
    // every line of that pass, even past midnight. The pair and the file being
    // processed are no state: the walk gets a PairJob, the archiver a FileJob.
    QString dayLogPath;
};

EngineState& state();

} // namespace engine
