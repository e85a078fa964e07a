// The crash harness: the real velmorado, on real folders, killed with SIGKILL
// at random moments until every file has arrived.
//
// Two chained pairs run in one program folder: In -> Arch (compress) and
// Arch -> Out (uncompress). Files with hard names, contents from 0 bytes to a
// few megabytes and user.* extended attributes are dropped into In in rounds;
// during each round the program (offscreen, automatic start, one second
// between passes) is killed alone, killed with its archiver, or its archiver
// is killed on its own, at random moments, and started again, until the
// round's files have all arrived in Out. At the end every file must be in Out
// exactly once, under its own name, byte-identical, with its attributes, and
// one more pass must leave nothing of the program's own in any folder.
//
// With --copies 2 two program folders (as two machines would have) serve the
// same folders at once, optionally through a preloaded library that gives
// every create, rename and unlink a share's latency (--slowfs LIB).
//
//   crash_harness [--bin DIR] [--seed N] [--seconds S] [--copies 1|2]
//                 [--slowfs LIB] [--work DIR] [--check-program-folder]
//
// The run is deterministic for a seed (file names, contents, attributes and
// the kill plan; the moments the kills land depend on the machine's speed).
// VELMORADO_CRASH_SECONDS and VELMORADO_CRASH_SEED override the defaults;
// VELMORADO_CRASH_CHECK_PROGRAM_FOLDER=1 is --check-program-folder (no hidden
// leftover, such as a parameters file's temporary, beside the executables).

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// ---------------------------------------------------------------- helpers

// The programs still running, stopped when the harness fails.
std::set<pid_t> g_running;
std::string g_work;

[[noreturn]] void die(const std::string& message) {
    for (const pid_t pid : g_running) {
        ::kill(pid, SIGKILL);
    }
    std::fprintf(stderr, "crash harness: FAILED: %s\n", message.c_str());
    if (!g_work.empty()) {
        std::fprintf(stderr, "crash harness: the folders are kept in %s\n", g_work.c_str());
    }
    std::fflush(stderr);
    std::_Exit(1);
}

// splitmix64: small, fast and the same everywhere.
class Rng {
public:
    explicit Rng(uint64_t seed) : s_(seed) {}
    uint64_t next() {
        uint64_t z = (s_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    // Uniform in [lo, hi].
    uint64_t range(uint64_t lo, uint64_t hi) { return lo + next() % (hi - lo + 1); }
    bool chance(int percent) { return int(next() % 100) < percent; }

private:
    uint64_t s_;
};

void sleepMs(int64_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string readText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeText(const fs::path& p, const std::string& data) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << data;
    if (!out) {
        die("cannot write " + p.string());
    }
}

// Every entry of a folder, hidden ones included.
std::vector<std::string> entries(const fs::path& folder) {
    std::vector<std::string> names;
    DIR* d = ::opendir(folder.c_str());
    if (d == nullptr) {
        return names;
    }
    while (const dirent* e = ::readdir(d)) {
        const std::string n = e->d_name;
        if (n != "." && n != "..") {
            names.push_back(n);
        }
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

// A name made printable for the report.
std::string shown(const std::string& name) {
    std::string s;
    for (unsigned char c : name) {
        if (c == '\n') {
            s += "\\n";
        } else if (c == '\t') {
            s += "\\t";
        } else if (c < 0x20) {
            char b[8];
            std::snprintf(b, sizeof b, "\\x%02x", c);
            s += b;
        } else {
            s += char(c);
        }
    }
    return s;
}

std::string listing(const fs::path& folder) {
    std::string s;
    const auto names = entries(folder);
    for (const auto& n : names) {
        struct stat st {};
        ::lstat((folder / n).c_str(), &st);
        s += "    " + shown(n) + " (" + std::to_string(st.st_size) + " bytes)\n";
    }
    return s.empty() ? "    (empty)\n" : s;
}

// Every user.* attribute of a file, sorted.
std::map<std::string, std::string> userXattrs(const fs::path& p) {
    std::map<std::string, std::string> result;
    std::vector<char> list(65536), value(65536);
    const ssize_t n = ::llistxattr(p.c_str(), list.data(), list.size());
    for (ssize_t i = 0; i < n;) {
        const std::string name(list.data() + i);
        i += ssize_t(name.size()) + 1;
        if (name.rfind("user.", 0) == 0) {
            const ssize_t v = ::lgetxattr(p.c_str(), name.c_str(), value.data(), value.size());
            result[name] = std::string(value.data(), size_t(std::max<ssize_t>(v, 0)));
        }
    }
    return result;
}

// Hexadecimal text of an ASCII path, as the list file stores it (UTF-16LE).
std::string hexText(const std::string& ascii) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : ascii) {
        if (c >= 0x80) {
            die("the work folder's path must be ASCII: " + ascii);
        }
        out += digits[c >> 4];
        out += digits[c & 15];
        out += "00";
    }
    return out;
}

// ---------------------------------------------------------------- the files

struct TestFile {
    std::string name;
    uint64_t size = 0;
    uint64_t contentSeed = 0;
    std::map<std::string, std::string> xattrs;
};

std::string contentOf(const TestFile& f) {
    std::string data(f.size, '\0');
    Rng r(f.contentSeed);
    for (size_t i = 0; i < data.size(); i += 8) {
        const uint64_t v = r.next();
        std::memcpy(&data[i], &v, std::min<size_t>(8, data.size() - i));
    }
    return data;
}

// Names that a command line, a careless join, a length limit or a
// normalisation would break. Each is made unique by the file's number.
std::string hardName(Rng& r, int i) {
    const std::string n = std::to_string(i);
    switch (i % 14) {
    case 0:
        return "report " + n + ".doc";
    case 1:
        return "quote \"" + n + "\" and 'apostrophe' & <tag>.txt";
    case 2:
        return "-" + n + " leading dash";
    case 3:
        return "line\nbreak " + n + "\ttab";
    case 4:
        return "\xF0\x9F\x98\x80 emoji " + n + " \xF0\x9F\x8E\x89.bin";
    case 5: // decomposed: e + COMBINING ACUTE ACCENT
        return "Cafe\xCC\x81 re\xCC\x81sume\xCC\x81 " + n + ".txt";
    case 6: // the same name precomposed: another file on Linux
        return "Caf\xC3\xA9 r\xC3\xA9sum\xC3\xA9 " + n + ".txt";
    case 7: { // 200 to 255 bytes
        std::string s = "long " + n + " ";
        const size_t want = r.range(200, 255);
        while (s.size() + 3 <= want) {
            s += r.chance(50) ? "\xC3\xA9x" : "ab";
        }
        while (s.size() < want) {
            s += 'z';
        }
        return s;
    }
    case 8:
        return " leading blank; $HOME `cmd` *?[ab]\\ " + n + ".bin";
    case 9:
        return "RA" + std::string(6 - std::min<size_t>(6, n.size()), '0') + n + ".rar.txt";
    case 10:
        return "\xE6\x96\x87\xE4\xBB\xB6 " + n + " \xD9\x85\xD9\x84\xD9\x81"; // CJK and Arabic
    case 11:
        return "trailing blank " + n + " ";
    case 12:
        return "--" + n + " -df -os";
    default:
        return "plain" + n;
    }
}

uint64_t pickSize(Rng& r, int i) {
    if (i % 11 == 0) {
        return 0;
    }
    const int p = int(r.range(0, 99));
    if (p < 72) {
        return r.range(1, 64 * 1024);
    }
    if (p < 95) {
        return r.range(64 * 1024, 1024 * 1024);
    }
    return r.range(1024 * 1024, 3 * 1024 * 1024);
}

std::map<std::string, std::string> pickXattrs(Rng& r, int i) {
    std::map<std::string, std::string> x;
    const int count = int(r.range(0, 3));
    for (int k = 0; k < count; ++k) {
        std::string value(r.range(0, 300), '\0');
        for (char& c : value) {
            c = char(r.next());
        }
        static const char* names[] = {"user.DosStream.Zone.Identifier:$DATA",
                                      "user.org.netatalk.ResourceFork", "user.test",
                                      "user.com.apple.FinderInfo"};
        x[std::string(names[(i + k) % 4])] = value;
    }
    return x;
}

void dropFile(const fs::path& folder, const TestFile& f) {
    const fs::path p = folder / f.name;
    writeText(p, contentOf(f));
    for (const auto& [key, value] : f.xattrs) {
        if (::setxattr(p.c_str(), key.c_str(), value.data(), value.size(), 0) != 0) {
            die("cannot set " + key + " on " + p.string() + ": " + std::strerror(errno));
        }
    }
    // An hour old: the quiet period of the in-use probe is over.
    struct timespec t[2];
    clock_gettime(CLOCK_REALTIME, &t[0]);
    t[0].tv_sec -= 3600;
    t[1] = t[0];
    ::utimensat(AT_FDCWD, p.c_str(), t, 0);
}

// ---------------------------------------------------------------- processes

struct ProcInfo {
    pid_t pid = 0;
    pid_t ppid = 0;
    std::string comm;
    std::vector<std::string> args;
};

// Running archivers (comm "rar"), with their parents and arguments.
std::vector<ProcInfo> archivers() {
    std::vector<ProcInfo> all;
    DIR* d = ::opendir("/proc");
    if (d == nullptr) {
        return all;
    }
    while (const dirent* e = ::readdir(d)) {
        const std::string pid = e->d_name;
        if (pid.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        const std::string stat = readText("/proc/" + pid + "/stat");
        const size_t open = stat.find('('), close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos || stat.size() < close + 4 ||
            stat.compare(open + 1, close - open - 1, "rar") != 0 || stat[close + 2] == 'Z') {
            continue;
        }
        ProcInfo p;
        p.pid = pid_t(std::stol(pid));
        p.comm = "rar";
        p.ppid = pid_t(std::atol(stat.c_str() + close + 4));
        const std::string cmd = readText("/proc/" + pid + "/cmdline");
        for (size_t a = 0; a < cmd.size();) {
            const size_t end = cmd.find('\0', a);
            p.args.push_back(cmd.substr(a, end - a));
            a = end == std::string::npos ? cmd.size() : end + 1;
        }
        all.push_back(p);
    }
    ::closedir(d);
    return all;
}

// The archivers started by parent (or left to this harness by a dead parent).
std::vector<ProcInfo> archiversOf(pid_t parent) {
    std::vector<ProcInfo> found;
    for (const ProcInfo& p : archivers()) {
        if (p.ppid == parent) {
            found.push_back(p);
        }
    }
    return found;
}

// ---------------------------------------------------------------- the run

struct Copy {
    fs::path folder; // the program folder
    pid_t pid = 0;   // the running velmorado, 0 when none
    fs::path output; // its standard output and error
    int started = 0;
};

class Harness {
public:
    fs::path bin, work, in, arch, out, slowfs;
    uint64_t seed = 0;
    int seconds = 180;
    int copies = 1;
    bool checkProgramFolder = false;

    void run();

private:
    void prepareCopy(Copy& c, int number);
    void start(Copy& c, bool stopAfterFirstPass);
    void reap();
    void killCopy(Copy& c, bool withArchiver, const std::string& how, bool count = true);
    bool killArchiverAlone(Copy& c);
    std::string phaseOf(const Copy& c);
    bool arrived(const std::vector<TestFile>& batch);
    void killOnce();
    void drain(const std::vector<TestFile>& batch, int timeoutSeconds);
    void finalCheck(const std::vector<TestFile>& all);
    std::string figures(const std::vector<TestFile>& files);
    void recordKill(const std::string& phase) {
        ++kills_;
        ++phases_[phase];
    }

    Rng plan_{0};
    std::vector<Copy> copies_;
    std::map<pid_t, Copy*> running_;
    std::map<std::string, int> phases_;
    int kills_ = 0;
};

void Harness::prepareCopy(Copy& c, int number) {
    c.folder = work / ("program" + std::to_string(number));
    fs::create_directories(c.folder);
    fs::create_directories(c.folder / "logs");
    for (const char* exe : {"velmorado", "rar"}) {
        // A copy, not a link: the program finds its folder from its own real path.
        fs::copy_file(bin / exe, c.folder / exe, fs::copy_options::overwrite_existing);
    }
    writeText(c.folder / "Velmorado.w",
              "\"" + hexText(in.string()) + "\",\"" + hexText(arch.string()) + "\"\r\n\"" +
                  hexText(arch.string()) + "\",\"" + hexText(out.string()) + "\"\r\n");
    c.output = work / ("program" + std::to_string(number) + ".out");
    for (const char* xdg : {"xdg-data", "xdg-config", "xdg-runtime"}) {
        fs::create_directories(c.folder.parent_path() / (c.folder.filename().string() + "-" + xdg));
    }
}

void Harness::start(Copy& c, bool stopAfterFirstPass) {
    // Written before every start: the program itself keeps LastFileNumber here.
    const fs::path ini = c.folder / "Velmorado.ini";
    std::string text = readText(ini);
    const std::string processing = [&] {
        const size_t at = text.find("[Processing]");
        return at == std::string::npos ? std::string() : text.substr(at);
    }();
    writeText(ini,
              std::string("[Configuration]\r\nAutomatique=1\r\nTemporisation=1\r\n") +
                  (stopAfterFirstPass ? "ArretAutomatique=1\r\n" : "") +
                  "[Logs]\r\nLogs=1\r\nFichiersLogs=1\r\nPathLogs=" + (c.folder / "logs").string() +
                  "\r\n[Rar_1]\r\nNbTemporisations=1\r\nRar=0\r\nEnable=1\r\n"
                  "[Rar_2]\r\nNbTemporisations=1\r\nRar=1\r\nEnable=1\r\n" +
                  processing);

    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string v = *e;
        if (v.rfind("XDG_", 0) == 0 || v.rfind("VELMORADO_SERVICE=", 0) == 0 ||
            v.rfind("QT_QPA_PLATFORM=", 0) == 0 || v.rfind("LD_PRELOAD=", 0) == 0 ||
            v.rfind("LC_ALL=", 0) == 0) {
            continue;
        }
        env.push_back(v);
    }
    const std::string base = c.folder.string();
    env.push_back("QT_QPA_PLATFORM=offscreen");
    env.push_back("LC_ALL=C.UTF-8");
    env.push_back("XDG_DATA_HOME=" + base + "-xdg-data");
    env.push_back("XDG_CONFIG_HOME=" + base + "-xdg-config");
    env.push_back("XDG_RUNTIME_DIR=" + base + "-xdg-runtime");
    if (!slowfs.empty()) {
        env.push_back("LD_PRELOAD=" + slowfs.string());
    }
    std::vector<char*> envp;
    for (auto& v : env) {
        envp.push_back(v.data());
    }
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, c.output.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addchdir_np(&actions, work.c_str());
    const std::string exe = (c.folder / "velmorado").string();
    char* argv[] = {const_cast<char*>(exe.c_str()), nullptr};
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        die("cannot start " + exe + ": " + std::strerror(rc));
    }
    c.pid = pid;
    ++c.started;
    running_[pid] = &c;
    g_running.insert(pid);
}

// Collects every child that ended: our velmorado copies and the archivers
// that a killed copy left to this harness (its subreaper). A copy that ends
// by itself while it should be running is a failure.
void Harness::reap() {
    for (;;) {
        int status = 0;
        const pid_t pid = ::waitpid(-1, &status, WNOHANG);
        if (pid <= 0) {
            return;
        }
        auto it = running_.find(pid);
        if (it == running_.end()) {
            continue; // an orphaned archiver that finished
        }
        Copy* c = it->second;
        running_.erase(it);
        g_running.erase(pid);
        if (c->pid == pid) {
            c->pid = 0;
            if (!(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) &&
                !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
                die("velmorado in " + c->folder.string() + " ended by itself with status " +
                    std::to_string(status) + "; its output:\n" + readText(c->output));
            }
        }
    }
}

// Where the work of a copy stands, from its archivers and the folders.
std::string Harness::phaseOf(const Copy& c) {
    for (const ProcInfo& p : archiversOf(c.pid)) {
        if (p.args.size() > 1 && p.args[1] == "a") {
            return "compress: archiver packing";
        }
        if (p.args.size() > 1 && p.args[1] == "e") {
            return "extract: archiver unpacking";
        }
    }
    bool rr = false, rarIn = false, hiddenArch = false, tmpArch = false;
    for (const std::string& n : entries(in)) {
        rr |= n.size() == 11 && (n.substr(8) == ".rr" || n.substr(8) == ".rn");
        rarIn |= n.size() == 12 && n.substr(8) == ".rar";
    }
    for (const std::string& n : entries(arch)) {
        hiddenArch |= n[0] == '.';
        tmpArch |= n.size() == 11 && (n.substr(8) == ".rr" || n.substr(8) == ".rn");
    }
    if (tmpArch || hiddenArch) {
        return "extract: file taken out, before its move";
    }
    if (rarIn) {
        return "compress: archive made, before its move";
    }
    if (rr) {
        return "compress: name and data files made";
    }
    return "walk, start-up or between files";
}

void Harness::killCopy(Copy& c, bool withArchiver, const std::string& how, bool count) {
    if (c.pid == 0) {
        return;
    }
    const std::string phase = phaseOf(c);
    const auto archivers = archiversOf(c.pid);
    ::kill(c.pid, SIGKILL);
    if (withArchiver) {
        for (const ProcInfo& p : archivers) {
            ::kill(p.pid, SIGKILL);
        }
    }
    if (count) {
        recordKill(how + ", " + phase);
    }
    // Wait for it to be gone, so that the next start is not refused.
    const pid_t pid = c.pid;
    while (c.pid == pid) {
        reap();
        sleepMs(2);
    }
}

bool Harness::killArchiverAlone(Copy& c) {
    const auto archivers = archiversOf(c.pid);
    if (archivers.empty()) {
        return false;
    }
    const bool packing = archivers[0].args.size() > 1 && archivers[0].args[1] == "a";
    ::kill(archivers[0].pid, SIGKILL);
    recordKill(std::string("archiver alone, ") +
               (packing ? "compress: archiver packing" : "extract: archiver unpacking"));
    return true;
}

bool Harness::arrived(const std::vector<TestFile>& batch) {
    for (const TestFile& f : batch) {
        struct stat st {};
        if (::lstat((out / f.name).c_str(), &st) != 0 || uint64_t(st.st_size) != f.size) {
            return false;
        }
    }
    return entries(in).empty() && entries(arch).empty();
}

// One kill at a random moment: the program alone (its archiver runs on,
// orphaned), the program with its archiver, or the archiver alone. The moment
// is a random time after the start, or a random time after an archiver
// appeared (packing, unpacking or either), or just after an archiver ended
// (the archive made, or the file taken out, on its way to its target).
void Harness::killOnce() {
    for (Copy& other : copies_) {
        if (other.pid == 0) {
            start(other, false);
        }
    }
    Copy& c = copies_[plan_.range(0, copies_.size() - 1)];
    const int kind = int(plan_.range(0, 99));
    const int moment = int(plan_.range(0, 99));
    const auto running = [&](const std::string& command) {
        for (const ProcInfo& p : archiversOf(c.pid)) {
            if (command.empty() || (p.args.size() > 1 && p.args[1] == command)) {
                return true;
            }
        }
        return false;
    };
    const auto waitUntil = [&](const auto& done, int ms) {
        const auto limit = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < limit && c.pid != 0 && !done()) {
            reap();
            sleepMs(2);
        }
    };
    int64_t delay = int64_t(plan_.range(0, 150));
    if (moment < 30) {
        delay = int64_t(plan_.range(100, 1200));
    } else if (moment < 40) {
        waitUntil([&] { return running(""); }, 2500);
    } else if (moment < 55) {
        waitUntil([&] { return running("a"); }, 2500);
    } else if (moment < 65) { // the archive made, on its way to the target
        waitUntil([&] { return running("a"); }, 2500);
        waitUntil([&] { return !running("a"); }, 5000);
        delay = int64_t(plan_.range(0, 20));
    } else if (moment < 85) {
        waitUntil([&] { return running("e"); }, 6000);
    } else { // the file taken out, on its way to the target
        waitUntil([&] { return running("e"); }, 6000);
        waitUntil([&] { return !running("e"); }, 5000);
        delay = int64_t(plan_.range(0, 40));
    }
    sleepMs(delay);
    reap();
    if (c.pid == 0) {
        return;
    }
    if (kind < 35) {
        killCopy(c, false, "program alone");
    } else if (kind < 70) {
        killCopy(c, true, "program and archiver");
    } else if (!killArchiverAlone(c)) {
        killCopy(c, false, "program alone");
    }
}

// Lets the copies run without kills until the round's files have arrived.
void Harness::drain(const std::vector<TestFile>& batch, int timeoutSeconds) {
    const auto limit = Clock::now() + std::chrono::seconds(timeoutSeconds);
    for (Copy& c : copies_) {
        if (c.pid == 0) {
            start(c, false);
        }
    }
    while (!arrived(batch)) {
        reap();
        if (Clock::now() > limit) {
            std::string names;
            for (const TestFile& f : batch) {
                if (!fs::exists(fs::symlink_status(out / f.name))) {
                    names += "    " + shown(f.name) + "\n";
                }
            }
            die("files did not arrive within " + std::to_string(timeoutSeconds) +
                " s of the last kill.\n  Missing from Out:\n" + names + "  In:\n" + listing(in) +
                "  Arch:\n" + listing(arch) + figures(batch));
        }
        sleepMs(50);
    }
}

// Files in Out whole, missing or damaged, and files packed more than once
// (two compression lines in the copies' logs for one source path).
std::string Harness::figures(const std::vector<TestFile>& files) {
    std::string logs;
    for (const Copy& c : copies_) {
        for (const std::string& n : entries(c.folder / "logs")) {
            logs += readText(c.folder / "logs" / n);
        }
    }
    int whole = 0, missing = 0, damaged = 0, twice = 0;
    for (const TestFile& f : files) {
        const fs::path p = out / f.name;
        if (!fs::exists(fs::symlink_status(p))) {
            ++missing;
        } else if (readText(p) == contentOf(f) && userXattrs(p) == f.xattrs) {
            ++whole;
        } else {
            ++damaged;
        }
        const std::string line = "<b>Rar</b> - " + (in / f.name).string() + " -> ";
        int packed = 0;
        for (size_t at = logs.find(line); at != std::string::npos; at = logs.find(line, at + 1)) {
            ++packed;
        }
        twice += packed > 1 ? 1 : 0;
    }
    return "\ncrash harness: " + std::to_string(files.size()) + " files: " + std::to_string(whole) +
           " whole in Out, " + std::to_string(missing) + " missing, " + std::to_string(damaged) +
           " damaged, " + std::to_string(twice) + " packed more than once\n";
}

void Harness::finalCheck(const std::vector<TestFile>& all) {
    // Stop the copies, wait for every orphaned archiver, then one more pass
    // of each copy on its own that ends by itself.
    for (Copy& c : copies_) {
        killCopy(c, false, "end of the run", false);
    }
    while (!archiversOf(::getpid()).empty()) {
        reap();
        sleepMs(10);
    }
    for (Copy& c : copies_) {
        start(c, true);
        const auto limit = Clock::now() + std::chrono::seconds(120);
        while (c.pid != 0) {
            reap();
            if (Clock::now() > limit) {
                die("the last pass of " + c.folder.string() + " did not end by itself");
            }
            sleepMs(20);
        }
    }

    std::set<std::string> expected;
    for (const TestFile& f : all) {
        expected.insert(f.name);
    }
    for (const fs::path& folder : {in, arch}) {
        if (!entries(folder).empty()) {
            die("after the last pass " + folder.string() + " still holds:\n" + listing(folder));
        }
    }
    for (const std::string& n : entries(out)) {
        if (expected.count(n) == 0) {
            die("Out holds an entry that is no user file: " + shown(n) + "\n" + listing(out));
        }
    }
    int checked = 0;
    for (const TestFile& f : all) {
        const fs::path p = out / f.name;
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            die("lost: " + shown(f.name));
        }
        if (readText(p) != contentOf(f)) {
            die("damaged content: " + shown(f.name));
        }
        if (userXattrs(p) != f.xattrs) {
            die("extended attributes differ: " + shown(f.name));
        }
        ++checked;
    }
    if (checkProgramFolder) {
        for (const Copy& c : copies_) {
            for (const std::string& n : entries(c.folder)) {
                if (n[0] == '.') {
                    die("a leftover in the program folder: " + c.folder.string() + "/" + n);
                }
            }
        }
    }
    std::printf("%s", figures(all).c_str() + 1);
    std::printf("crash harness: files checked: %d (every one in Out exactly once, under its own "
                "name, byte-identical, with its user.* attributes); In and Arch empty\n",
                checked);
}

void Harness::run() {
    std::printf(
        "crash harness: seed %llu, %d s, %d cop%s%s (rerun with VELMORADO_CRASH_SEED=%llu)\n",
        (unsigned long long)seed, seconds, copies, copies == 1 ? "y" : "ies",
        slowfs.empty() ? "" : ", share latency", (unsigned long long)seed);
    std::fflush(stdout);
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    in = work / "In";
    arch = work / "Arch";
    out = work / "Out";
    for (const fs::path& p : {in, arch, out}) {
        fs::create_directories(p);
    }
    {
        const fs::path probe = work / "xattr-probe";
        writeText(probe, "");
        if (::setxattr(probe.c_str(), "user.probe", "1", 1, 0) != 0) {
            die("user.* extended attributes are not supported in " + work.string());
        }
        fs::remove(probe);
    }
    copies_.resize(size_t(copies));
    for (int i = 0; i < copies; ++i) {
        prepareCopy(copies_[size_t(i)], i + 1);
    }

    // Batches of 10 files for three quarters of the time (and until at least
    // 100 kill points per three minutes): the next batch comes when the last
    // has arrived, or when its share of the time is over, so that files are
    // being packed and unpacked all the time. At least four batches per 30
    // seconds in all: 240 files in the default 3 minutes.
    Rng files(seed);
    plan_ = Rng(seed ^ 0x5eedf00dULL);
    const int minBatches = std::max(2, seconds * 4 / 30), maxBatches = 2 * minBatches;
    const int perBatch = 10;
    const int minKills = seconds * 100 / 180;
    const auto begin = Clock::now();
    const auto killEnd = begin + std::chrono::seconds(seconds) * 3 / 4;
    const auto hardEnd = begin + std::chrono::seconds(seconds);
    const auto share = (killEnd - begin) / minBatches;
    const auto killing = [&] {
        const auto now = Clock::now();
        return now < killEnd || (kills_ < minKills && now < hardEnd);
    };
    std::vector<TestFile> all, pending;
    int batches = 0;
    auto lastDrop = begin;
    const auto dropBatch = [&] {
        for (int k = 0; k < perBatch; ++k) {
            TestFile f;
            const int i = int(all.size() + pending.size());
            f.name = hardName(files, i);
            f.size = pickSize(files, i);
            f.contentSeed = files.next();
            f.xattrs = pickXattrs(files, i);
            dropFile(in, f);
            pending.push_back(f);
        }
        ++batches;
        lastDrop = Clock::now();
        std::printf(
            "crash harness: batch %d dropped at %.0f s: %zu files arrived, %d kill points\n",
            batches, std::chrono::duration<double>(lastDrop - begin).count(), all.size(), kills_);
        std::fflush(stdout);
    };
    dropBatch();
    while (killing()) {
        reap();
        if (arrived(pending)) {
            all.insert(all.end(), pending.begin(), pending.end());
            pending.clear();
            if (batches >= maxBatches) {
                break;
            }
            dropBatch();
        } else if (batches < minBatches && Clock::now() - lastDrop > share) {
            dropBatch();
        }
        killOnce();
    }
    while (batches < minBatches) {
        dropBatch();
    }
    drain(pending, 300);
    all.insert(all.end(), pending.begin(), pending.end());
    finalCheck(all);
    std::printf("crash harness: kill points survived: %d\n", kills_);
    for (const auto& [phase, count] : phases_) {
        std::printf("    %4d  %s\n", count, phase.c_str());
    }
    int starts = 0;
    for (const Copy& c : copies_) {
        starts += c.started;
    }
    std::printf("crash harness: %d starts of velmorado, %.0f s\n", starts,
                std::chrono::duration<double>(Clock::now() - begin).count());
}

} // namespace

int main(int argc, char** argv) {
    Harness h;
    h.bin = VELMORADO_BIN_DIR;
    h.seed = uint64_t(std::chrono::system_clock::now().time_since_epoch().count());
    if (const char* s = std::getenv("VELMORADO_CRASH_SEED")) {
        h.seed = std::strtoull(s, nullptr, 10);
    }
    if (const char* s = std::getenv("VELMORADO_CRASH_SECONDS")) {
        h.seconds = std::atoi(s);
    }
    if (const char* s = std::getenv("VELMORADO_CRASH_CHECK_PROGRAM_FOLDER")) {
        h.checkProgramFolder = std::string(s) == "1";
    }
    std::string work;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                die("missing value after " + a);
            }
            return argv[++i];
        };
        if (a == "--bin") {
            h.bin = value();
        } else if (a == "--seed") {
            h.seed = std::strtoull(value().c_str(), nullptr, 10);
        } else if (a == "--seconds") {
            h.seconds = std::atoi(value().c_str());
        } else if (a == "--copies") {
            h.copies = std::atoi(value().c_str());
        } else if (a == "--slowfs") {
            h.slowfs = value();
        } else if (a == "--work") {
            work = value();
        } else if (a == "--check-program-folder") {
            h.checkProgramFolder = true;
        } else {
            die("unknown argument " + a);
        }
    }
    if (h.bin.empty() || !fs::exists(h.bin / "velmorado") || !fs::exists(h.bin / "rar")) {
        die("--bin must name the folder of the built velmorado and rar");
    }
    if (h.copies < 1 || h.copies > 2 || h.seconds < 10) {
        die("--copies is 1 or 2, --seconds at least 10");
    }
    bool keep = false;
    if (work.empty()) {
        std::string templ = (fs::temp_directory_path() / "velmorado-crash.XXXXXX").string();
        if (::mkdtemp(templ.data()) == nullptr) {
            die("cannot make a work folder");
        }
        h.work = templ;
    } else {
        h.work = work;
        keep = true;
        fs::create_directories(h.work);
    }
    h.work = fs::canonical(h.work);
    g_work = h.work.string();
    h.run();
    if (!keep) {
        fs::remove_all(h.work);
    }
    return 0;
}
