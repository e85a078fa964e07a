#include "engine/DailyLog.h"

#include "config/Language.h"
#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "engine/EngineState.h"
#include "engine/Texts.h"
#include "engine/WindowPort.h"
#include "platform/AtomicFile.h"
#include "platform/FileNames.h"
#include "platform/FileOps.h"
#include "platform/UniqueFd.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace engine {

namespace {

const char kBom[] = "\xEF\xBB\xBF";
// "Log Velmorado ", then the date, then ".htm".
QString logNameStart() {
    return QStringLiteral("Log ") + config::kProductName + QLatin1Char(' ');
}
const QLatin1StringView kLogNameEnd(".htm");
const QLatin1StringView kDateFormat("yyyy-MM-dd");

// The log that could not be written because it is not a regular file, and
// whether that has been told.
struct Refusal {
    QString path;
    bool link = false;
    bool told = false;
};
Refusal& refusal() {
    static Refusal r;
    return r;
}
void refuse(const QString& path, bool link) {
    if (refusal().path != path) {
        refusal() = Refusal{path, link, false};
    }
}
void written(const QString& path) {
    if (refusal().path == path) {
        refusal() = Refusal{};
    }
}

enum class Open { Ok, Refused, Failed };

// Whether what stands at path may be written as a log: nothing there yet,
// or a regular file. Anything else is refused.
Open examine(const QString& path, const QByteArray& p, bool* missing) {
    struct stat st {};
    *missing = false;
    if (::lstat(p.constData(), &st) != 0) {
        *missing = errno == ENOENT;
        return *missing ? Open::Ok : Open::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        refuse(path, S_ISLNK(st.st_mode));
        return Open::Refused;
    }
    return Open::Ok;
}

// Opens the log at path to append to it, never through a link: the regular
// file there, or, when there is none, a new one made by this call (O_EXCL,
// so whatever appears at that name meanwhile is not taken over). fresh says
// that this call made it. Non-blocking open: a pipe put there never hangs the
// pass; it is refused like anything that is not a regular file.
platform::UniqueFd openLog(const QString& path, bool* fresh) {
    const QByteArray p = platform::encodePath(path);
    *fresh = false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        bool missing = false;
        if (examine(path, p, &missing) != Open::Ok) {
            return {};
        }
        const int flags = O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC |
                          (missing ? O_CREAT | O_EXCL : O_APPEND);
        platform::UniqueFd fd(::open(p.constData(), flags, 0644));
        if (!fd.valid()) {
            if (errno == EEXIST || errno == ENOENT) {
                continue; // made or removed meanwhile: look again
            }
            examine(path, p, &missing); // a link put there meanwhile is refused
            return {};
        }
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
            refuse(path, false);
            return {};
        }
        *fresh = missing || st.st_size == 0;
        return fd;
    }
    return {};
}

// Opens, writes, closes. A file that this write creates (or finds empty)
// gets the byte-order mark first.
bool appendBytes(const QString& path, const QByteArray& bytes) {
    if (path.isEmpty()) {
        return false;
    }
    bool fresh = false;
    platform::UniqueFd fd = openLog(path, &fresh);
    if (!fd.valid()) {
        return false;
    }
    const QByteArray data = fresh ? kBom + bytes : bytes;
    const bool ok = platform::writeAll(fd.get(), data.constData(), data.size()) && fd.close();
    if (ok) {
        written(path);
    }
    return ok;
}

QByteArray lineBytes(const QString& line) {
    return line.toUtf8() + "\r\n";
}

} // namespace

QString dayLogPath(const QString& pathLogs, const QDate& date) {
    return pathLogs + QLatin1Char('/') + logNameStart() + date.toString(kDateFormat) + kLogNameEnd;
}

std::optional<QDate> dailyLogDate(const QString& fileName) {
    constexpr qsizetype kDateLength = 10;
    const QString start = logNameStart();
    if (fileName.size() != start.size() + kDateLength + kLogNameEnd.size() ||
        !fileName.startsWith(start) || !fileName.endsWith(kLogNameEnd)) {
        return std::nullopt;
    }
    const QString text = fileName.mid(start.size(), kDateLength);
    // Digits only where the format has them: fromString alone would take
    // other digits (and signs) than the ones dayLogPath writes.
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool dash = i == 4 || i == 7;
        if (dash ? text[i] != QLatin1Char('-')
                 : (text[i] < QLatin1Char('0') || text[i] > QLatin1Char('9'))) {
            return std::nullopt;
        }
    }
    const QDate date = QDate::fromString(text, kDateFormat);
    if (!date.isValid()) {
        return std::nullopt;
    }
    return date;
}

QStringList dailyLogNames(const QString& folder) {
    QStringList names;
    // Files only, no links: a link of a log's name is not one of its logs.
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::NoSymLinks)) {
        if (isDailyLogName(name)) {
            names << name;
        }
    }
    std::sort(names.begin(), names.end()); // the date in the name makes this oldest first
    return names;
}

QString htmlEscape(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '<':
            out += QStringLiteral("&lt;");
            break;
        case '>':
            out += QStringLiteral("&gt;");
            break;
        case '&':
            out += QStringLiteral("&amp;");
            break;
        case '"':
            out += QStringLiteral("&quot;");
            break;
        default:
            out += c;
        }
    }
    return out;
}

void RemoveOldLogs(const QString& folder, int delaiLogs, const QDate& today) {
    QStringList names = dailyLogNames(folder);
    // One dated later (a clock set wrong once, a copy from elsewhere) would
    // stand in for a day that has really been logged.
    names.removeIf([&](const QString& name) { return *dailyLogDate(name) > today; });
    qsizetype left = names.size();
    if (left <= delaiLogs) {
        return;
    }
    const QDir dir(folder);
    for (const QString& name : names) {
        if (left < delaiLogs) {
            break;
        }
        platform::deleteFile(dir.filePath(name)); // a file that stays counts as handled
        --left;
    }
}

bool writeLogHeader(const QString& path, const QDate& date, int language, bool purge,
                    int delaiLogs) {
    if (path.isEmpty()) {
        return false;
    }
    bool missing = false;
    if (examine(path, platform::encodePath(path), &missing) != Open::Ok) {
        return false; // refused (not a regular file), or not to be examined
    }
    if (!missing) {
        return true;
    }
    if (purge) {
        RemoveOldLogs(QFileInfo(path).absolutePath(), delaiLogs, date);
    }
    const QString title = config::pickText(
        language, "<b><center><h1>Journal des compressions/décompressions</h1></center></b>",
        "<b><center><h1>Rar/Unrar Logs</h1></center></b>");
    QByteArray header;
    header += lineBytes(QStringLiteral("<html>"));
    header += lineBytes(QStringLiteral("<head>"));
    header += lineBytes(QStringLiteral("<title>Logs ") + config::kProductName +
                        QStringLiteral("</title>"));
    header += lineBytes(QStringLiteral("</head>"));
    header += lineBytes(QStringLiteral("<body>"));
    header += lineBytes(title);
    header += lineBytes(QStringLiteral("<center><h3>") +
                        QLocale::system().toString(date, QLocale::LongFormat) +
                        QStringLiteral("</h3></center>"));
    return appendBytes(path, header);
}

void WriteLogHeader() {
    const config::Settings& s = config::settings();
    writeLogHeader(state().dayLogPath, QDate::currentDate(), config::language(), s.purgeLogs,
                   s.delaiLogs);
}

bool appendLogLine(const QString& path, const QString& line) {
    return appendBytes(path, lineBytes(line));
}

namespace {

// The text of the refusal not told yet (and marks it told); empty when none.
QString takeLogRefusal(int language) {
    Refusal& r = refusal();
    if (r.path.isEmpty() || r.told) {
        return QString();
    }
    r.told = true;
    return config::pickText(language, "Journal du jour non écrit : ", "Daily log not written: ") +
           r.path +
           (r.link ? config::pickText(language,
                                      " est un lien symbolique ; Velmorado n'écrit pas à travers",
                                      " is a symbolic link; Velmorado does not write through it")
                   : config::pickText(language,
                                      " n'est pas un fichier ordinaire ; Velmorado n'y écrit pas",
                                      " is not a regular file; Velmorado does not write to it"));
}

} // namespace

void ReportLogRefusal(WindowPort& window,
                      const std::function<void(const QString&, int)>& writeEventLog) {
    const QString text = takeLogRefusal(config::language());
    if (text.isEmpty()) {
        return;
    }
    window.showMessageWindow(texts::timeNow() + QStringLiteral(" - ") + text);
    if (writeEventLog) {
        writeEventLog(text, 2);
    }
}

bool LogCompression(const QString& fromPath, const QString& toPath) {
    return appendLogLine(state().dayLogPath, QStringLiteral("<small><b>Rar</b> - ") +
                                                 htmlEscape(fromPath) + QStringLiteral(" -> ") +
                                                 htmlEscape(toPath) +
                                                 QStringLiteral("</small><br>"));
}

bool LogExtraction(const QString& fromPath, const QString& toPath) {
    return appendLogLine(state().dayLogPath, QStringLiteral("<small><b>Unrar</b> - ") +
                                                 htmlEscape(fromPath) + QStringLiteral(" -> ") +
                                                 htmlEscape(toPath) +
                                                 QStringLiteral("</small><br>"));
}

bool LogUnknownFolder(const QString& message, const QString& folder) {
    return appendLogLine(state().dayLogPath, htmlEscape(message) + QStringLiteral(": ") +
                                                 htmlEscape(folder) + QStringLiteral("<br>"));
}

bool LogSummary(const QString& line1, const QString& line2) {
    return appendLogLine(state().dayLogPath, htmlEscape(line1) + QStringLiteral("<br>") +
                                                 htmlEscape(line2) + QStringLiteral("<br><hr>"));
}

} // namespace engine
