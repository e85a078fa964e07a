#include "engine/ProcessingPass.h"

#include "config/FolderPairs.h"
#include "config/Language.h"
#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "config/ValueRules.h"
#include "engine/DailyLog.h"
#include "engine/EngineState.h"
#include "engine/IdleFolders.h"
#include "engine/PairProcessing.h"
#include "engine/RarRunner.h"
#include "engine/Texts.h"
#include "engine/WaitCauses.h"
#include "engine/WindowPort.h"
#include "platform/KnownFolders.h"
#include "platform/NetMessage.h"

#include <QDate>
#include <QDateTime>
#include <QElapsedTimer>

#include <sys/stat.h>

namespace engine {

namespace {

constexpr Control kLblTempo = Control::lblTempo;
constexpr Control kLblMessage = Control::lblMessage;
constexpr Control kBarWait = Control::ProgressBarAttente;
constexpr Control kBarPass = Control::ProgressBarCopie;

// The folder as the pass hands it on: its path followed by "/".
QString withSlash(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

// Marks the pass as running for as long as it lasts, however it is left.
class PassRunningMark {
public:
    PassRunningMark() { state().passRunning = true; }
    ~PassRunningMark() { state().passRunning = false; }
    PassRunningMark(const PassRunningMark&) = delete;
    PassRunningMark& operator=(const PassRunningMark&) = delete;
};

// What the pass keeps of one pair: the table can be reloaded while a stopped
// pass finishes its yields, so no reference into it is held across them.
struct PairView {
    QString source, target, nbTemporisations, remaining, rar, enable;
};

// Checks and, when its turn has come, processes pair number n.
void runPair(WindowPort& window, const ServiceHooks& hooks, int n, const PairView& pair) {
    EngineState& st = state();
    if (pair.source.isEmpty()) {
        ++st.invalidSourceFolders;
        return;
    }
    if (pair.target.isEmpty()) {
        ++st.invalidTargetFolders;
        return;
    }
    ++st.sourceFolders;
    PairJob job{withSlash(pair.source), withSlash(pair.target)};
    // Only a folder will do: a file of that name (or a path cut short by a
    // NUL) is a missing folder, never a place to move the pair's files to.
    // Asked of the file system only when something may have changed there
    // since the last look: most pairs stay as they are for hours.
    platform::KnownFolders& folders = platform::knownFolders();
    struct stat sourceStat {};
    const bool sourceThere = folders.isFolder(pair.source, &sourceStat);
    const bool targetThere = folders.isFolder(pair.target);
    if (!sourceThere) {
        ++st.invalidSourceFolders;
        WarnMissingFolder(window, hooks, true, job.sourceFolder);
        if (!targetThere) {
            ++st.invalidTargetFolders;
            WarnMissingFolder(window, hooks, false, job.targetFolder);
        }
        return;
    }
    // The files of an enabled pair wait while its target is missing: said
    // once in the log when it starts and once when it clears, whatever the
    // warning settings.
    const bool enabled = pair.enable == QLatin1String("1");
    if (enabled && !targetThere) {
        waitCauses().set(job.sourceFolder, job.targetFolder, job.sourceFolder,
                         WaitCause::TargetMissing, job.targetFolder);
    } else {
        waitCauses().clear(job.sourceFolder);
    }
    if (!targetThere) {
        ++st.invalidTargetFolders;
        WarnMissingFolder(window, hooks, false, job.targetFolder);
        return;
    }
    if (!enabled) {
        return; // checked and counted, never processed; its count stays
    }
    const qint16 left = config::roundToInt16(config::leadingNumber(pair.remaining) - 1);
    config::FolderPair* record = config::folderPairs().pair(n);
    if (left < 1 || st.forcedPass) {
        if (record != nullptr) {
            record->remaining = pair.nbTemporisations;
        }
        job.compress = pair.rar == QLatin1String("0");
        // A folder that was empty at the last look and has not changed since
        // holds nothing to do.
        IdleFolders::Look look;
        if (idleFolders().unchanged(job.sourceFolder, sourceStat, &look)) {
            return;
        }
        // A compression extracts its new archive once too, to check it.
        ClearStaleExtractionFolders(job.sourceFolder);
        idleFolders().walked(job.sourceFolder, look, ProcessPair(window, job));
        // The walk and its archiver changed folders that later pairs may use.
        folders.catchUp();
    } else if (record != nullptr) {
        record->remaining = QString::number(left);
    }
}

} // namespace

void WarnMissingFolder(WindowPort& window, const ServiceHooks& hooks, bool source,
                       const QString& folder) {
    const config::Settings& s = config::settings();
    const config::ProgramValues& p = config::program();
    const QString message =
        texts::timeNow() + texts::unknownFolderSuffix(source, config::language());
    if (s.erreurDossier) {
        window.showMessageWindow(message);
        if (s.logs) {
            if (source) {
                WriteLogHeader();
            }
            LogUnknownFolder(message, folder);
        }
    }
    if (s.erreurDossierEventLog && hooks.runningAsService && hooks.runningAsService() &&
        hooks.writeEventLog) {
        hooks.writeEventLog(message + QStringLiteral(": ") + folder, 2);
    }
    if (s.erreurDossierSon) {
        window.beep();
    }
    if (!s.messageNetSend.isEmpty() && s.erreurDossierNetSend) {
        platform::sendNetMessage(s.messageNetSend, p.exeDir,
                                 [&window, hooks](const platform::NetSendResult& result) {
                                     ReportNetMessage(window, hooks, result);
                                 });
    }
}

void ReportNetMessage(WindowPort& window, const ServiceHooks& hooks,
                      const platform::NetSendResult& result) {
    if (result.status == platform::NetSendResult::Status::Sent) {
        return;
    }
    const int language = config::language();
    const QString text = texts::timeNow() + QStringLiteral(" - ") +
                         texts::netMessageNotSent(language) + QStringLiteral(": ") +
                         texts::netSendFailure(result, language);
    window.showMessageWindow(text);
    const EngineState& st = state();
    if (config::settings().logs && !st.dayLogPath.isEmpty()) {
        WriteLogHeader();
        appendLogLine(st.dayLogPath, htmlEscape(text) + QStringLiteral("<br>"));
    }
    if (hooks.runningAsService && hooks.runningAsService() && hooks.writeEventLog) {
        hooks.writeEventLog(text, 2);
    }
}

void RunProcessingPass(WindowPort& window, const ServiceHooks& hooks) {
    const PassRunningMark mark;
    EngineState& st = state();
    const config::Settings& s = config::settings();
    // A monotonic clock: a pass that runs across midnight still measures right.
    QElapsedTimer clock;
    clock.start();

    window.setLabelText(kLblTempo, QString());
    window.setTrayTip(texts::trayTipRunning(config::language()));
    if (s.logs) {
        // The whole pass writes to this file, even past midnight.
        st.dayLogPath = dayLogPath(s.pathLogs, QDate::currentDate());
        WriteLogHeader();
    }
    window.setBarValue(kBarWait, 0);
    window.setTimerOn(false);
    window.setLabelText(kLblTempo, QString());

    platform::knownFolders().catchUp();
    st.files = st.compressed = st.uncompressed = 0;
    st.sourceFolders = st.invalidSourceFolders = st.invalidTargetFolders = 0;

    const int pairCount = int(config::folderPairs().pairs.size());
    if (pairCount > 0) {
        window.setBarRange(kBarPass, 0, pairCount);
    }
    for (int n = 1; n <= pairCount; ++n) {
        window.setBarValue(kBarPass, n);
        window.setLabelText(kLblTempo,
                            QString::number(n) + QLatin1Char('/') + QString::number(pairCount));
        if (const config::FolderPair* record = config::folderPairs().pair(n)) {
            const PairView view{record->source,    record->target, record->nbTemporisations,
                                record->remaining, record->rar,    record->enable};
            runPair(window, hooks, n, view);
        }
        YieldEvents(window);
        if (st.stopped) {
            break;
        }
    }
    window.setBarValue(kBarPass, 0);
    if (!st.stopped) {
        platform::knownFolders().forgetUnasked(); // every pair was looked at
    }
    const double elapsed = double(clock.nsecsElapsed()) / 1e9;

    const int language = config::language();
    const PassCounts& counts = st;
    const QString line1 =
        texts::summaryLine1(language, texts::longDateToday(), texts::timeNow(), counts);
    const QString line2 = texts::summaryLine2(language, counts, texts::elapsedText(elapsed));
    window.setLabelText(kLblMessage, line1 + QStringLiteral("\r\n") + line2);
    if (s.logs && (st.compressed != 0 || st.uncompressed != 0)) {
        LogSummary(line1, line2);
    }
    window.setLabelText(kLblTempo, QString());
    window.setTimerOn(!st.stopped);

    if (s.afficherFichiers) {
        const int selected = window.selectedPairNumber();
        if (const config::FolderPair* record = config::folderPairs().pair(selected)) {
            const QString source = record->source;
            const QString target = record->target;
            window.refreshFileList(1, source);
            if (st.compressed > 0 || st.uncompressed >= 1) {
                window.refreshFileList(2, target);
            }
        }
    }
    window.setTrayTip(texts::trayTipWaiting(language));
    waitCauses().sweep();
    window.setWaitingSummary(waitCauses().summary(language));
    ReportLogRefusal(window, hooks.writeEventLog);
    window.setLabelText(kLblTempo, QString());
    st.lastPass = counts;
    st.lastPassEnded = QDateTime::currentDateTime();

    if (s.arretAutomatique) {
        YieldEvents(window);
        // A key pressed in the start-up notice during that yield cancels the end.
        if (s.arretAutomatique) {
            st.passRunning = false;
            window.endProgram();
        }
    }
}

} // namespace engine
