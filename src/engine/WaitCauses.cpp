#include "engine/WaitCauses.h"

#include "config/Language.h"
#include "config/Settings.h"
#include "engine/DailyLog.h"
#include "engine/EngineState.h"
#include "engine/Texts.h"
#include "platform/FileNames.h"
#include "platform/FileOps.h"

#include <cerrno>
#include <sys/statvfs.h>
#include <unistd.h>

namespace engine {

WaitCauses& waitCauses() {
    static WaitCauses causes;
    return causes;
}

void WaitCauses::log(const Entry& entry, bool starts) {
    if (!config::settings().logs || state().dayLogPath.isEmpty()) {
        return;
    }
    const int language = config::language();
    const bool wholePair = entry.shown.endsWith(QLatin1Char('/'));
    LogUnknownFolder(texts::timeNow() +
                         texts::waitLogMessage(language, starts, wholePair,
                                               texts::waitCause(entry.cause, language),
                                               entry.source, entry.target),
                     entry.shown);
}

void WaitCauses::set(const QString& source, const QString& target, const QString& file,
                     WaitCause cause, const QString& shown) {
    const auto it = m_causes.constFind(file);
    if (it != m_causes.constEnd() && it->cause == cause) {
        return; // known: said once already
    }
    const Entry entry{source, target, shown.isEmpty() ? file : shown, cause};
    m_causes.insert(file, entry);
    log(entry, true);
}

void WaitCauses::clear(const QString& file) {
    const auto it = m_causes.find(file);
    if (it == m_causes.end()) {
        return;
    }
    log(*it, false);
    m_causes.erase(it);
}

void WaitCauses::clear(const QString& file, WaitCause cause) {
    const auto it = m_causes.constFind(file);
    if (it != m_causes.constEnd() && it->cause == cause) {
        clear(file);
    }
}

void WaitCauses::sweep() {
    QStringList gone;
    for (auto it = m_causes.cbegin(); it != m_causes.cend(); ++it) {
        if (!it.key().endsWith(QLatin1Char('/')) && !platform::exists(it.key())) {
            gone << it.key();
        }
    }
    for (const QString& file : gone) {
        clear(file);
    }
}

QString WaitCauses::summary(int language) const {
    if (m_causes.isEmpty()) {
        return QString();
    }
    QMap<int, int> counts; // by cause, in the order of the causes
    for (const Entry& e : m_causes) {
        ++counts[int(e.cause)];
    }
    QStringList parts;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        parts << texts::waitCause(WaitCause(it.key()), language) + QStringLiteral(" (") +
                     QString::number(it.value()) + QLatin1Char(')');
    }
    return texts::filesWaiting(language) + parts.join(QStringLiteral("; "));
}

QMap<QString, QString> WaitCauses::notices(int language) const {
    QMap<QString, QString> notices;
    for (const Entry& e : m_causes) {
        QString folder = e.target;
        if (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))) {
            folder.chop(1);
        }
        notices.insert(QString::number(int(e.cause)) + QLatin1Char('|') + folder,
                       texts::filesWaiting(language) + texts::waitCause(e.cause, language) +
                           QStringLiteral(" - ") + folder);
    }
    return notices;
}

WaitCause diagnoseTarget(const QString& folder, const QString& destination, qint64 size) {
    if (!platform::exists(folder)) {
        return WaitCause::TargetMissing;
    }
    if (!destination.isEmpty() && platform::exists(destination)) {
        return WaitCause::ArchiveNameTaken;
    }
    const QByteArray f = platform::encodePath(folder);
    if (::access(f.constData(), W_OK | X_OK) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? WaitCause::TargetMissing
                                                   : WaitCause::TargetReadOnly;
    }
    struct statvfs vfs {};
    if (::statvfs(f.constData(), &vfs) == 0) {
        if (vfs.f_flag & ST_RDONLY) {
            return WaitCause::TargetReadOnly;
        }
        const unsigned long long room = qulonglong(vfs.f_bavail) * vfs.f_frsize;
        if (room < qulonglong(qMax<qint64>(size, 1)) || (vfs.f_files != 0 && vfs.f_favail == 0)) {
            return WaitCause::TargetFull;
        }
    }
    return WaitCause::CannotMove;
}

} // namespace engine
