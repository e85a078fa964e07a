#include "engine/DailyLog.h"

#include "config/Language.h"
#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "engine/EngineState.h"
#include "platform/AtomicFile.h"
#include "platform/FileNames.h"
#include "platform/FileOps.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

namespace engine {

namespace {

const char kBom[] = "\xEF\xBB\xBF";
const QString kLogPattern = QStringLiteral("Log Velmorado*.htm");

// Opens, writes, closes. A file that this write creates (or finds empty)
// gets the byte-order mark first.
bool appendBytes(const QString& path, const QByteArray& bytes, bool truncate) {
    if (path.isEmpty()) {
        return false;
    }
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (truncate ? O_TRUNC : O_APPEND);
    const int fd = ::open(platform::encodePath(path).constData(), flags, 0644);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    QByteArray data;
    if (::fstat(fd, &st) == 0 && st.st_size == 0) {
        data.append(kBom);
    }
    data.append(bytes);
    const bool ok = platform::writeAll(fd, data.constData(), data.size());
    return (::close(fd) == 0) && ok;
}

QByteArray lineBytes(const QString& line) {
    return line.toUtf8() + "\r\n";
}

} // namespace

QString dayLogPath(const QString& pathLogs, const QDate& date) {
    return pathLogs + QStringLiteral("/Log ") + config::kProductName + QLatin1Char(' ') +
           date.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".htm");
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

void RemoveOldLogs(const QString& folder, int delaiLogs) {
    QDir dir(folder);
    const QByteArray pattern = kLogPattern.toUtf8();
    QStringList names;
    for (const QFileInfo& fi : dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (::fnmatch(pattern.constData(), fi.fileName().toUtf8().constData(), 0) == 0) {
            names.append(fi.fileName());
        }
    }
    std::sort(names.begin(), names.end()); // the date in the name makes this oldest first
    qsizetype left = names.size();
    if (left <= delaiLogs) {
        return;
    }
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
    if (platform::exists(path)) {
        return true;
    }
    if (purge) {
        RemoveOldLogs(QFileInfo(path).absolutePath(), delaiLogs);
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
    return appendBytes(path, header, true);
}

void WriteLogHeader() {
    const config::Settings& s = config::settings();
    writeLogHeader(state().dayLogPath, QDate::currentDate(), config::language(), s.purgeLogs,
                   s.delaiLogs);
}

bool appendLogLine(const QString& path, const QString& line) {
    return appendBytes(path, lineBytes(line), false);
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
