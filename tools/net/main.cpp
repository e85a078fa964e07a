// net: the one verb of the Windows "net" command that the program uses.
//
//   net send RECIPIENT MESSAGE...
//
// The words after the recipient are the message, joined by blanks. The
// program passes the message in one argument, exactly as the user typed it
// (quotes included); no shell reads it on the way. Delivery, first that applies:
//   - RECIPIENT is a user of this machine: the message is written to every
//     terminal where that user is logged in and accepts messages (as
//     write(1) does), and shown as a desktop notification where a desktop
//     session of that user can show one (notify-send). Delivered when at
//     least one of them took it.
//   - anything else (a computer or a user of the network): a WinPopup
//     message through "smbclient -M RECIPIENT", when smbclient is installed.
// Exit status 0 when delivered; otherwise 1 (could not deliver) or 2 (bad
// command line), with the reason on standard error.
//
// VELMORADO_NET_UTMP names another login record file than the system's
// (tests: a terminal of their own).

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utmpx.h>
#include <vector>

extern char** environ;

namespace {

void usage() {
    std::fprintf(stderr, "usage: net send RECIPIENT MESSAGE\n");
}

std::string hostName() {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0) {
        return "localhost";
    }
    return host;
}

std::string senderName() {
    if (const passwd* pw = getpwuid(getuid())) {
        return pw->pw_name;
    }
    const char* user = std::getenv("USER");
    return user ? user : "velmorado";
}

// A program on PATH, or empty.
std::string onPath(const char* program) {
    const char* path = std::getenv("PATH");
    std::string list = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= list.size()) {
        const size_t end = list.find(':', start);
        std::string dir =
            list.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (dir.empty()) {
            dir = ".";
        }
        const std::string candidate = dir + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return {};
}

// Runs a program with the given environment changes and optional input,
// and waits for it. The exit status, or -1 when it could not be started.
int run(const std::vector<std::string>& args, const std::string& input,
        const std::vector<std::string>& extraEnv = {}) {
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<std::string> envStore;
    for (char** e = environ; *e; ++e) {
        envStore.emplace_back(*e);
    }
    for (const std::string& e : extraEnv) {
        envStore.push_back(e);
    }
    std::vector<char*> envp;
    for (std::string& e : envStore) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);

    int pipeFds[2] = {-1, -1};
    if (pipe(pipeFds) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[0], STDIN_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[0]);
    if (rc != 0) {
        close(pipeFds[1]);
        return -1;
    }
    const char* data = input.data();
    size_t left = input.size();
    while (left > 0) {
        const ssize_t n = write(pipeFds[1], data, left);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        data += n;
        left -= size_t(n);
    }
    close(pipeFds[1]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool writeAll(int fd, const std::string& text) {
    const char* data = text.data();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t n = write(fd, data, left);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        left -= size_t(n);
    }
    return true;
}

// The terminal lines (under /dev) where a user is logged in.
std::vector<std::string> terminalsOf(const std::string& user) {
    std::vector<std::string> lines;
    if (const char* file = std::getenv("VELMORADO_NET_UTMP")) {
        if (utmpxname(file) != 0) {
            return lines;
        }
    }
    setutxent();
    while (const utmpx* u = getutxent()) {
        if (u->ut_type != USER_PROCESS) {
            continue;
        }
        const std::string name(u->ut_user, strnlen(u->ut_user, sizeof u->ut_user));
        const std::string line(u->ut_line, strnlen(u->ut_line, sizeof u->ut_line));
        if (name == user && !line.empty() && line.find("..") == std::string::npos) {
            lines.push_back(line);
        }
    }
    endutxent();
    return lines;
}

// Control characters would drive the terminal: shown as "^X", as write(1) does.
std::string printable(const std::string& text) {
    std::string out;
    for (const unsigned char c : text) {
        if ((c < 0x20 && c != '\t') || c == 0x7f) {
            out += '^';
            out += char(c == 0x7f ? '?' : c + '@');
        } else {
            out += char(c);
        }
    }
    return out;
}

// As write(1): only terminals that accept messages (group write bit), unless
// the sender is root; never follows a name out of /dev.
int toTerminals(const passwd& pw, const std::string& message) {
    char when[16] = {};
    const std::time_t now = std::time(nullptr);
    std::strftime(when, sizeof when, "%H:%M", std::localtime(&now));
    const std::string banner = "\r\n\aMessage from " + senderName() + "@" + hostName() + " at " +
                               when + " ...\r\n" + printable(message) + "\r\nEOF\r\n";
    int delivered = 0;
    for (const std::string& line : terminalsOf(pw.pw_name)) {
        const std::string device = "/dev/" + line;
        const int fd = open(device.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        struct stat st {};
        const bool isTty = fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && isatty(fd);
        const bool accepts = getuid() == 0 || (st.st_mode & S_IWGRP);
        if (isTty && accepts && writeAll(fd, banner)) {
            ++delivered;
        }
        close(fd);
    }
    return delivered;
}

// A notification in the user's desktop session: its session bus, reached
// as that user (only possible for oneself, or as root).
bool toDesktop(const passwd& pw, const std::string& message) {
    const std::string notify = onPath("notify-send");
    if (notify.empty()) {
        return false;
    }
    const std::vector<std::string> args = {notify, "Velmorado", message};
    if (pw.pw_uid == getuid()) {
        const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        const std::string ownBus = "/run/user/" + std::to_string(pw.pw_uid) + "/bus";
        if (bus && *bus) {
            return run(args, {}) == 0;
        }
        if (access(ownBus.c_str(), W_OK) == 0) {
            return run(args, {}, {"DBUS_SESSION_BUS_ADDRESS=unix:path=" + ownBus}) == 0;
        }
        return false;
    }
    if (getuid() != 0) {
        return false;
    }
    const std::string bus = "/run/user/" + std::to_string(pw.pw_uid) + "/bus";
    if (access(bus.c_str(), F_OK) != 0) {
        return false;
    }
    // Become the user in a child, then run notify-send on that user's bus.
    const pid_t pid = fork();
    if (pid < 0) {
        return false;
    }
    if (pid == 0) {
        if (initgroups(pw.pw_name, pw.pw_gid) != 0 || setgid(pw.pw_gid) != 0 ||
            setuid(pw.pw_uid) != 0) {
            _exit(1);
        }
        const std::string address = "DBUS_SESSION_BUS_ADDRESS=unix:path=" + bus;
        _exit(run(args, {}, {address}) == 0 ? 0 : 1);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int sendTo(const std::string& recipient, const std::string& message) {
    if (const passwd* found = getpwnam(recipient.c_str())) {
        const passwd pw = *found;
        const int terminals = toTerminals(pw, message);
        const bool desktop = toDesktop(pw, message);
        if (terminals > 0 || desktop) {
            return 0;
        }
        std::fprintf(stderr,
                     "net: cannot deliver to %s: the user is logged in on no terminal that "
                     "accepts messages and no desktop session could show a notification\n",
                     recipient.c_str());
        return 1;
    }
    const std::string smbclient = onPath("smbclient");
    if (smbclient.empty()) {
        std::fprintf(stderr,
                     "net: cannot deliver to %s: it is not a user of this machine, and "
                     "smbclient (needed for WinPopup messages) is not installed\n",
                     recipient.c_str());
        return 1;
    }
    const int status = run({smbclient, "-M", recipient, "-N"}, message + "\n");
    if (status != 0) {
        std::fprintf(stderr, "net: smbclient could not deliver the message to %s (status %d)\n",
                     recipient.c_str(), status);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 2 || std::strcmp(argv[1], "send") != 0) {
        std::fprintf(stderr, "net: only \"net send\" is provided here\n");
        usage();
        return 2;
    }
    if (argc < 3 || argv[2][0] == '\0') {
        std::fprintf(stderr, "net: no recipient\n");
        usage();
        return 2;
    }
    std::string message;
    for (int i = 3; i < argc; ++i) {
        if (!message.empty()) {
            message += ' ';
        }
        message += argv[i];
    }
    if (message.empty()) {
        std::fprintf(stderr, "net: no message to send to %s\n", argv[2]);
        usage();
        return 2;
    }
    return sendTo(argv[2], message);
}
