#include "platform/Process.h"

#include "platform/UniqueFd.h"

#include "platform/FileNames.h"

#include <QByteArray>
#include <QDir>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

extern char** environ;

namespace platform {

namespace {

bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

bool isExecutableFile(const QString& path) {
    const QByteArray p = encodePath(path);
    struct stat st {};
    return ::stat(p.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(p.constData(), X_OK) == 0;
}

// posix_spawn's attributes and file actions, released whatever happens.
struct SpawnSetup {
    posix_spawnattr_t attr;
    posix_spawn_file_actions_t actions;
    SpawnSetup() {
        posix_spawnattr_init(&attr);
        posix_spawn_file_actions_init(&actions);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

// Reads fd to its end, keeping at most limit bytes in out.
void readAtMost(int fd, QByteArray& out, qsizetype limit) {
    out.clear();
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return;
        }
        out.append(buffer, std::min<qsizetype>(got, std::max<qsizetype>(0, limit - out.size())));
    }
}

} // namespace

QStringList splitWindowsCommandLine(const QString& commandLine) {
    QStringList words;
    const qsizetype n = commandLine.size();
    qsizetype i = 0;
    while (i < n && isBlank(commandLine[i])) {
        ++i;
    }
    if (i >= n) {
        return words;
    }
    // The program: up to the closing quote, or up to the next blank.
    QString first;
    if (commandLine[i] == QLatin1Char('"')) {
        ++i;
        while (i < n && commandLine[i] != QLatin1Char('"')) {
            first.append(commandLine[i++]);
        }
        if (i < n) {
            ++i;
        }
    } else {
        while (i < n && !isBlank(commandLine[i])) {
            first.append(commandLine[i++]);
        }
    }
    words.append(first);
    while (i < n && isBlank(commandLine[i])) {
        ++i;
    }
    if (i >= n) {
        return words;
    }

    // The arguments. quoted is 1 inside a group; a run of quotes is counted
    // the way CommandLineToArgvW counts it (every third one is literal).
    QString word;
    int quoted = 0;
    int backslashes = 0;
    bool inWord = true;
    while (i < n) {
        const QChar c = commandLine[i];
        if (isBlank(c) && quoted == 0) {
            words.append(word);
            word.clear();
            backslashes = 0;
            while (i < n && isBlank(commandLine[i])) {
                ++i;
            }
            inWord = i < n;
            continue;
        }
        if (c == QLatin1Char('\\')) {
            word.append(c);
            ++backslashes;
            ++i;
            continue;
        }
        if (c == QLatin1Char('"')) {
            if (backslashes % 2 == 0) {
                word.chop(backslashes / 2);
                ++quoted;
            } else {
                word.chop(backslashes / 2 + 1);
                word.append(QLatin1Char('"'));
            }
            backslashes = 0;
            ++i;
            while (i < n && commandLine[i] == QLatin1Char('"')) {
                if (++quoted == 3) {
                    word.append(QLatin1Char('"'));
                    quoted = 0;
                }
                ++i;
            }
            if (quoted == 2) {
                quoted = 0;
            }
            continue;
        }
        word.append(c);
        backslashes = 0;
        ++i;
    }
    if (inWord) {
        words.append(word);
    }
    return words;
}

QString quoteArgument(const QString& text) {
    QString quoted(QLatin1Char('"'));
    qsizetype backslashes = 0;
    for (const QChar c : text) {
        if (c == QLatin1Char('\\')) {
            ++backslashes;
        } else if (c == QLatin1Char('"')) {
            // 2n+1 backslashes and the quote: n backslashes and a literal quote.
            quoted.append(QString(backslashes + 1, QLatin1Char('\\')));
            backslashes = 0;
        } else {
            backslashes = 0;
        }
        quoted.append(c);
    }
    // 2n backslashes before the closing quote give n.
    quoted.append(QString(backslashes, QLatin1Char('\\')));
    quoted.append(QLatin1Char('"'));
    return quoted;
}

QString findProgram(const QString& word, const QString& programFolder) {
    if (word.isEmpty()) {
        return {};
    }
    if (word.contains(QLatin1Char('/'))) {
        return isExecutableFile(word) ? word : QString();
    }
    QStringList folders;
    if (!programFolder.isEmpty()) {
        folders.append(programFolder);
    }
    folders.append(QDir::currentPath());
    const QByteArray path = qgetenv("PATH");
    for (const QString& f : QString::fromLocal8Bit(path).split(QLatin1Char(':'))) {
        folders.append(f.isEmpty() ? QStringLiteral(".") : f);
    }
    for (const QString& f : folders) {
        const QString candidate = f + QLatin1Char('/') + word;
        if (isExecutableFile(candidate)) {
            return candidate;
        }
    }
    return {};
}

bool runAndWait(const QString& commandLine, const RunOptions& options, int* exitStatus) {
    if (exitStatus) {
        *exitStatus = -1;
    }
    const QStringList words = splitWindowsCommandLine(commandLine);
    if (words.isEmpty()) {
        return false;
    }
    const QString program = findProgram(words.first(), options.programFolder);
    if (program.isEmpty()) {
        return false;
    }
    std::vector<QByteArray> args;
    args.reserve(size_t(words.size()));
    for (const QString& w : words) {
        args.push_back(encodePath(w));
    }
    std::vector<char*> argv;
    for (QByteArray& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    SpawnSetup s;
    // The child starts with default signal handling and nothing blocked,
    // whatever this process ignores or blocks.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&s.attr, &none);
    posix_spawnattr_setsigdefault(&s.attr, &all);
    posix_spawnattr_setflags(&s.attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    // The read end of the pipe that carries the child's standard error, when
    // the caller wants it; the write end is the child's alone.
    UniqueFd errorRead;
    UniqueFd errorWrite;
    if (!options.show && options.errorOutput != nullptr) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) == 0) {
            errorRead = UniqueFd(ends[0]);
            errorWrite = UniqueFd(ends[1]);
        }
    }
    if (!options.show) {
        posix_spawn_file_actions_addopen(&s.actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&s.actions, 1, "/dev/null", O_WRONLY, 0);
        if (errorWrite.valid()) {
            posix_spawn_file_actions_adddup2(&s.actions, errorWrite.get(), 2);
        } else {
            posix_spawn_file_actions_addopen(&s.actions, 2, "/dev/null", O_WRONLY, 0);
        }
    }
    const QByteArray folder = encodePath(options.workingFolder);
    if (!options.workingFolder.isEmpty()) {
        posix_spawn_file_actions_addchdir_np(&s.actions, folder.constData());
    }
    const QByteArray path = encodePath(program);
    pid_t pid = -1;
    if (posix_spawn(&pid, path.constData(), &s.actions, &s.attr, argv.data(), environ) != 0) {
        return false;
    }
    if (errorRead.valid()) {
        errorWrite.reset(); // the end of the output comes when the child's copy goes
        readAtMost(errorRead.get(), *options.errorOutput, kErrorOutputLimit);
    }
    int status = 0;
    for (;;) {
        const pid_t r = ::waitpid(pid, &status, 0);
        if (r == pid) {
            break;
        }
        if (r < 0 && errno != EINTR) {
            return true; // someone else reaped it; it has ended all the same
        }
    }
    if (exitStatus && WIFEXITED(status)) {
        *exitStatus = WEXITSTATUS(status);
    }
    return true;
}

} // namespace platform
