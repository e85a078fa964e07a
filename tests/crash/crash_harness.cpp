// The crash harness: the real velmorado, on real folders, killed with SIGKILL
// at random moments until every file has arrived. Two chained pairs run in one
// program folder: In -> Arch (compress) and Arch -> Out (uncompress). Files
// with hard names, 0 bytes to a few megabytes and user.* extended attributes
// are dropped into In in rounds; the program is killed alone, with its
// archiver, or its archiver alone, and started again. At the end every file
// must be in Out exactly once, whole, with its attributes, and one more pass
// must leave nothing of the program's own anywhere.
//
//   crash_harness [--seed N] [--seconds S] [--copies 1|2] [--slowfs LIB] [--work DIR]
//
// --copies 2: two program folders serve the same folders at once, optionally
// through a preloaded library giving the folders a share's latency. The run is
// deterministic for a seed except for when the kills land.
// VELMORADO_CRASH_SECONDS and VELMORADO_CRASH_SEED are the defaults of
// --seconds and --seed; VELMORADO_CRASH_CHECK_PROGRAM_FOLDER=1 also checks
// that no hidden leftover stays beside the executables.

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
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
using Xattrs = std::map<std::string, std::string>;

namespace {

std::set<pid_t> g_running; // killed when the harness fails
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
struct Rng {
    uint64_t s;
    uint64_t next() {
        uint64_t z = (s += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    uint64_t range(uint64_t lo, uint64_t hi) { return lo + next() % (hi - lo + 1); } // [lo, hi]
};

void sleepMs(int64_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string readText(const fs::path& p) {
    std::ostringstream s;
    s << std::ifstream(p, std::ios::binary).rdbuf();
    return s.str();
}

void writeText(const fs::path& p, const std::string& data) {
    if (!(std::ofstream(p, std::ios::binary | std::ios::trunc) << data)) {
        die("cannot write " + p.string());
    }
}

// Every entry of a folder, hidden ones included; none when it is missing.
std::set<std::string> entries(const fs::path& folder) {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        names.insert(e.path().filename().string());
    }
    return names;
}

std::string listing(const fs::path& folder) {
    std::string s;
    for (const auto& n : entries(folder)) {
        s += "    " + n + "\n";
    }
    return s;
}

Xattrs userXattrs(const fs::path& p) {
    Xattrs result;
    std::vector<char> list(65536), value(65536);
    const ssize_t n = ::llistxattr(p.c_str(), list.data(), list.size());
    for (ssize_t i = 0; i < n; i += ssize_t(std::strlen(list.data() + i)) + 1) {
        const std::string name(list.data() + i);
        if (name.rfind("user.", 0) == 0) {
            const ssize_t v = ::lgetxattr(p.c_str(), name.c_str(), value.data(), value.size());
            result[name] = std::string(value.data(), size_t(std::max<ssize_t>(v, 0)));
        }
    }
    return result;
}

// One line of the list file for two ASCII paths (hexadecimal UTF-16LE).
std::string listLine(const fs::path& source, const fs::path& target) {
    const auto hex = [](const std::string& ascii) {
        std::string out;
        for (const unsigned char c : ascii) {
            if (c >= 0x80) {
                die("the work folder's path must be ASCII: " + ascii);
            }
            out += "0123456789ABCDEF"[c >> 4];
            out += "0123456789ABCDEF"[c & 15];
            out += "00";
        }
        return '"' + out + '"';
    };
    return hex(source.string()) + ',' + hex(target.string()) + "\r\n";
}

// ---------------------------------------------------------------- the files

struct TestFile {
    std::string name;
    uint64_t size = 0, contentSeed = 0;
    Xattrs xattrs;
};

std::string contentOf(const TestFile& f) {
    std::string data(f.size, '\0');
    Rng r{f.contentSeed};
    for (size_t i = 0; i < data.size(); i += 8) {
        const uint64_t v = r.next();
        std::memcpy(&data[i], &v, std::min<size_t>(8, data.size() - i));
    }
    return data;
}

// Names that a command line, a careless join, a length limit or a
// normalisation would break; '#' stands for the file's number.
std::string hardName(Rng& r, int i) {
    static const char* const shapes[] = {
        "report #.doc",
        "quote \"#\" and 'apostrophe' & <tag>.txt",
        "-# leading dash",
        "line\nbreak #\ttab",
        "\xF0\x9F\x98\x80 emoji # \xF0\x9F\x8E\x89.bin",
        "Cafe\xCC\x81 re\xCC\x81sume\xCC\x81 #.txt", // decomposed: e + COMBINING ACUTE ACCENT
        "Caf\xC3\xA9 r\xC3\xA9sum\xC3\xA9 #.txt",    // the same precomposed: another file
        "long # ",
        " leading blank; $HOME `cmd` *?[ab]\\ #.bin",
        "RA#.rar.txt",
        "\xE6\x96\x87\xE4\xBB\xB6 # \xD9\x85\xD9\x84\xD9\x81", // CJK and Arabic
        "trailing blank # ",
        "--# -df -os",
        "plain#"};
    std::string n = std::to_string(i), s = shapes[i % 14];
    if (i % 14 == 9) {
        n = std::string(6 - std::min<size_t>(6, n.size()), '0') + n;
    }
    s.replace(s.find('#'), 1, n);
    if (i % 14 == 7) { // 200 to 255 bytes
        const size_t want = r.range(200, 255);
        while (s.size() + 3 <= want) {
            s += r.range(0, 99) < 50 ? "\xC3\xA9x" : "ab";
        }
        s.resize(want, 'z');
    }
    return s;
}

TestFile makeFile(Rng& r, int i) {
    TestFile f;
    f.name = hardName(r, i);
    const uint64_t p = r.range(0, 99);
    f.size = i % 11 == 0 ? 0
             : p < 72    ? r.range(1, 64 * 1024)
             : p < 95    ? r.range(64 * 1024, 1024 * 1024)
                         : r.range(1024 * 1024, 3 * 1024 * 1024);
    f.contentSeed = r.next();
    static const char* const names[] = {"user.DosStream.Zone.Identifier:$DATA",
                                        "user.org.netatalk.ResourceFork", "user.test",
                                        "user.com.apple.FinderInfo"};
    for (int k = 0, count = int(r.range(0, 3)); k < count; ++k) {
        std::string value(r.range(0, 300), '\0');
        std::generate(value.begin(), value.end(), [&] { return char(r.next()); });
        f.xattrs[names[(i + k) % 4]] = value;
    }
    return f;
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
    fs::last_write_time(p, fs::last_write_time(p) - std::chrono::hours(1));
}

// ---------------------------------------------------------------- processes

struct Archiver {
    pid_t pid = 0;
    std::string command; // "a" or "e"
};

// The running archivers (comm "rar") whose parent is parent: a copy, or this
// harness for those a killed copy left behind.
std::vector<Archiver> archiversOf(pid_t parent) {
    std::vector<Archiver> found;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/proc", ec)) {
        const std::string stat = readText(e.path() / "stat");
        const size_t close = stat.rfind(')');
        if (close == std::string::npos || stat.size() < close + 4 || stat[close + 2] == 'Z' ||
            stat.find("(rar)") == std::string::npos ||
            std::atol(stat.c_str() + close + 4) != parent) {
            continue;
        }
        const std::string cmd = readText(e.path() / "cmdline");
        const size_t arg = cmd.find('\0');
        found.push_back({pid_t(std::atol(e.path().filename().c_str())),
                         arg == std::string::npos
                             ? ""
                             : cmd.substr(arg + 1, cmd.find('\0', arg + 1) - arg - 1)});
    }
    return found;
}

// ---------------------------------------------------------------- the run

struct Copy {
    fs::path folder; // the program folder
    pid_t pid = 0;   // the running velmorado, 0 when none
    fs::path output; // its standard output and error
};

// The run: the folders, the copies of the program and the kill plan.
struct Harness {
    fs::path bin, work, in, arch, out, slowfs;
    uint64_t seed = 0;
    int seconds = 180, copies = 1;
    bool checkProgramFolder = false;
    Rng plan_{0};
    std::vector<Copy> copies_;
    std::map<pid_t, Copy*> running_;
    std::map<std::string, int> phases_; // kills by what the copy's archiver was doing
    int kills_ = 0;

    void start(Copy& c, bool stopAfterFirstPass) {
        // Written before every start: the program itself keeps LastFileNumber here.
        const fs::path ini = c.folder / "Velmorado.ini";
        const std::string old = readText(ini);
        const size_t processing = std::min(old.find("[Processing]"), old.size());
        writeText(ini, std::string("[Configuration]\r\nAutomatique=1\r\nTemporisation=1\r\n") +
                           (stopAfterFirstPass ? "ArretAutomatique=1\r\n" : "") +
                           "[Logs]\r\nLogs=1\r\nFichiersLogs=1\r\nPathLogs=" +
                           (c.folder / "logs").string() +
                           "\r\n[Rar_1]\r\nNbTemporisations=1\r\nRar=0\r\nEnable=1\r\n"
                           "[Rar_2]\r\nNbTemporisations=1\r\nRar=1\r\nEnable=1\r\n" +
                           old.substr(processing));
        const pid_t pid = ::fork();
        if (pid < 0) {
            die(std::string("cannot start velmorado: ") + std::strerror(errno));
        }
        if (pid == 0) { // the harness's environment was cleaned in run()
            const std::string base = c.folder.string();
            ::setenv("XDG_DATA_HOME", (base + "-xdg-data").c_str(), 1);
            ::setenv("XDG_CONFIG_HOME", (base + "-xdg-config").c_str(), 1);
            ::setenv("XDG_RUNTIME_DIR", (base + "-xdg-runtime").c_str(), 1);
            if (!slowfs.empty()) {
                ::setenv("LD_PRELOAD", slowfs.c_str(), 1);
            }
            const int log = ::open(c.output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            const int none = ::open("/dev/null", O_RDONLY);
            if (log < 0 || none < 0 || ::dup2(none, 0) < 0 || ::dup2(log, 1) < 0 ||
                ::dup2(log, 2) < 0 || ::chdir(work.c_str()) != 0) {
                std::_Exit(127);
            }
            const std::string exe = (c.folder / "velmorado").string();
            ::execl(exe.c_str(), exe.c_str(), nullptr);
            std::_Exit(127);
        }
        c.pid = pid;
        running_[pid] = &c;
        g_running.insert(pid);
    }

    void startStopped() {
        for (Copy& c : copies_) {
            if (c.pid == 0) {
                start(c, false);
            }
        }
    }

    // Collects every child that ended: our velmorado copies and the archivers
    // that a killed copy left to this harness (its subreaper). A copy that ends
    // by itself while it should be running is a failure.
    void reap() {
        int status = 0;
        for (pid_t pid; (pid = ::waitpid(-1, &status, WNOHANG)) > 0;) {
            const auto it = running_.find(pid);
            if (it == running_.end()) {
                continue; // an orphaned archiver that finished
            }
            Copy* c = it->second;
            running_.erase(it);
            g_running.erase(pid);
            c->pid = 0;
            if (!(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) &&
                !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
                die("velmorado in " + c->folder.string() + " ended by itself with status " +
                    std::to_string(status) + "; its output:\n" + readText(c->output));
            }
        }
    }

    // Kills the copy and waits until it is gone, so that the next start is not
    // refused.
    void kill(Copy& c, bool withArchiver, bool counted = true) {
        const pid_t pid = c.pid;
        if (pid == 0) {
            return;
        }
        const auto archivers = archiversOf(pid);
        if (counted) {
            ++phases_[archivers.empty()             ? "program, no archiver running"
                      : archivers[0].command == "a" ? "program, archiver packing"
                                                    : "program, archiver unpacking"];
        }
        ::kill(pid, SIGKILL);
        for (const Archiver& a : archivers) {
            if (withArchiver) {
                ::kill(a.pid, SIGKILL);
            }
        }
        while (c.pid == pid) {
            reap();
            sleepMs(2);
        }
    }

    bool arrived(const std::vector<TestFile>& batch) {
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
    void killOnce() {
        startStopped();
        Copy& c = copies_[plan_.range(0, copies_.size() - 1)];
        const int kind = int(plan_.range(0, 99)), moment = int(plan_.range(0, 99));
        const auto running = [&](const std::string& command) {
            const auto all = archiversOf(c.pid);
            return std::any_of(all.begin(), all.end(), [&](const Archiver& a) {
                return command.empty() || a.command == command;
            });
        };
        const auto waitUntil = [&](const auto& done, int ms) {
            const auto limit = Clock::now() + std::chrono::milliseconds(ms);
            while (Clock::now() < limit && c.pid != 0 && !done()) {
                reap();
                sleepMs(2);
            }
        };
        const std::string command = moment < 40 ? "" : moment < 65 ? "a" : "e";
        int64_t delay = int64_t(plan_.range(0, 150));
        if (moment < 30) {
            delay = int64_t(plan_.range(100, 1200));
        } else {
            waitUntil([&] { return running(command); }, command == "e" ? 6000 : 2500);
        }
        if ((moment >= 55 && moment < 65) || moment >= 85) { // just after the archiver ended
            waitUntil([&] { return !running(command); }, 5000);
            delay = int64_t(plan_.range(0, command == "a" ? 20 : 40));
        }
        sleepMs(delay);
        reap();
        const auto archivers = archiversOf(c.pid);
        if (c.pid == 0) {
            return;
        }
        ++kills_;
        if (kind >= 70 && !archivers.empty()) {
            ++phases_[archivers[0].command == "a" ? "archiver alone, packing"
                                                  : "archiver alone, unpacking"];
            ::kill(archivers[0].pid, SIGKILL);
        } else {
            kill(c, kind >= 35 && kind < 70);
        }
    }

    // Lets the copies run without kills until the round's files have arrived.
    void drain(const std::vector<TestFile>& batch, int timeoutSeconds) {
        const auto limit = Clock::now() + std::chrono::seconds(timeoutSeconds);
        startStopped();
        while (!arrived(batch)) {
            reap();
            if (Clock::now() > limit) {
                die("files did not arrive within " + std::to_string(timeoutSeconds) +
                    " s of the last kill.\n  In:\n" + listing(in) + "  Arch:\n" + listing(arch));
            }
            sleepMs(50);
        }
    }

    void finalCheck(const std::vector<TestFile>& all) {
        // Stop the copies, wait for every orphaned archiver, then one more pass
        // of each copy on its own that ends by itself.
        for (Copy& c : copies_) {
            kill(c, false, false);
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
        for (const fs::path& folder : {in, arch}) {
            if (!entries(folder).empty()) {
                die("after the last pass " + folder.string() + " still holds:\n" + listing(folder));
            }
        }
        std::set<std::string> expected;
        std::transform(all.begin(), all.end(), std::inserter(expected, expected.end()),
                       [](const TestFile& f) { return f.name; });
        for (const std::string& n : entries(out)) {
            if (expected.count(n) == 0) {
                die("Out holds an entry that is no user file: " + n + "\n" + listing(out));
            }
        }
        for (const TestFile& f : all) {
            const fs::path p = out / f.name;
            if (!fs::is_regular_file(fs::symlink_status(p))) {
                die("lost: " + f.name);
            }
            if (readText(p) != contentOf(f)) {
                die("damaged content: " + f.name);
            }
            if (userXattrs(p) != f.xattrs) {
                die("extended attributes differ: " + f.name);
            }
        }
        for (const Copy& c : copies_) {
            const auto names = entries(c.folder);
            if (checkProgramFolder && !names.empty() && (*names.begin())[0] == '.') {
                die("a leftover in the program folder: " + c.folder.string() + "/" +
                    *names.begin());
            }
        }
        std::printf("crash harness: %zu files in Out exactly once, whole, with their attributes; "
                    "In and Arch empty\n",
                    all.size());
    }

    void run() {
        std::printf("crash harness: VELMORADO_CRASH_SEED=%llu, %d s, %d copies\n",
                    (unsigned long long)seed, seconds, copies);
        std::fflush(stdout);
        ::prctl(PR_SET_CHILD_SUBREAPER, 1);
        // What every start inherits: no desktop, service or preload of the
        // harness's own (start() gives each copy folders of its own).
        std::vector<std::string> drop;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string v = *e;
            if (v.rfind("XDG_", 0) == 0 || v.rfind("VELMORADO_SERVICE=", 0) == 0 ||
                v.rfind("LD_PRELOAD=", 0) == 0) {
                drop.push_back(v.substr(0, v.find('=')));
            }
        }
        for (const std::string& name : drop) {
            ::unsetenv(name.c_str());
        }
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::setenv("LC_ALL", "C.UTF-8", 1);
        in = work / "In", arch = work / "Arch", out = work / "Out";
        for (const fs::path& p : {in, arch, out}) {
            fs::create_directories(p);
        }
        copies_.resize(size_t(copies));
        for (int i = 0; i < copies; ++i) {
            Copy& c = copies_[size_t(i)];
            const std::string name = "program" + std::to_string(i + 1);
            c.folder = work / name;
            c.output = work / (name + ".out");
            for (const char* sub : {"/logs", "-xdg-data", "-xdg-config", "-xdg-runtime"}) {
                fs::create_directories(c.folder.string() + sub);
            }
            for (const char* exe : {"velmorado", "rar"}) {
                // A copy, not a link: the program finds its folder from its own real path.
                fs::copy_file(bin / exe, c.folder / exe, fs::copy_options::overwrite_existing);
            }
            writeText(c.folder / "Velmorado.w", listLine(in, arch) + listLine(arch, out));
        }

        // Batches of 10 files for three quarters of the time (and until at least
        // 100 kill points per three minutes): the next batch comes when the last
        // has arrived, or when its share of the time is over, so that files are
        // being packed and unpacked all the time. At least four batches per 30
        // seconds in all: 240 files in the default 3 minutes.
        Rng files{seed};
        plan_ = Rng{seed ^ 0x5eedf00dULL};
        const int minBatches = std::max(2, seconds * 4 / 30), maxBatches = 2 * minBatches;
        const int minKills = seconds * 100 / 180;
        const auto begin = Clock::now();
        const auto killEnd = begin + std::chrono::seconds(seconds) * 3 / 4;
        const auto hardEnd = begin + std::chrono::seconds(seconds);
        const auto share = (killEnd - begin) / minBatches;
        std::vector<TestFile> all, pending;
        int batches = 0;
        auto lastDrop = begin;
        const auto dropBatch = [&] {
            for (int k = 0; k < 10; ++k) {
                pending.push_back(makeFile(files, int(all.size() + pending.size())));
                dropFile(in, pending.back());
            }
            lastDrop = Clock::now();
            ++batches;
        };
        dropBatch();
        while (Clock::now() < killEnd || (kills_ < minKills && Clock::now() < hardEnd)) {
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
        std::printf("crash harness: %d kills survived\n", kills_);
        for (const auto& [phase, count] : phases_) {
            std::printf("    %4d  %s\n", count, phase.c_str());
        }
    }
};

} // namespace

int main(int argc, char** argv) {
    Harness h;
    h.bin = VELMORADO_BIN_DIR;
    const auto env = [](const char* name, const char* otherwise) {
        const char* v = std::getenv(name);
        return std::string(v != nullptr ? v : otherwise);
    };
    const auto now = std::chrono::system_clock::now().time_since_epoch().count();
    std::string seed = env("VELMORADO_CRASH_SEED", std::to_string(now).c_str());
    std::string seconds = env("VELMORADO_CRASH_SECONDS", "180"), copies = "1", work;
    h.checkProgramFolder = env("VELMORADO_CRASH_CHECK_PROGRAM_FOLDER", "") == "1";
    const std::map<std::string, std::string*> options = {
        {"--seed", &seed}, {"--seconds", &seconds}, {"--copies", &copies}, {"--work", &work}};
    for (int i = 1; i < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--slowfs" && i + 1 < argc) {
            h.slowfs = argv[i + 1];
        } else if (options.count(a) != 0 && i + 1 < argc) {
            *options.at(a) = argv[i + 1];
        } else {
            die("unknown argument, or no value after it: " + a);
        }
    }
    h.seed = std::strtoull(seed.c_str(), nullptr, 10);
    h.seconds = std::atoi(seconds.c_str()), h.copies = std::atoi(copies.c_str());
    if (h.copies < 1 || h.copies > 2 || h.seconds < 10) {
        die("--copies is 1 or 2, --seconds at least 10");
    }
    std::string temporary = (fs::temp_directory_path() / "velmorado-crash.XXXXXX").string();
    if (work.empty() && ::mkdtemp(temporary.data()) == nullptr) {
        die("cannot make a work folder");
    }
    fs::create_directories(work.empty() ? temporary : work);
    h.work = fs::canonical(work.empty() ? temporary : work);
    g_work = h.work.string();
    h.run();
    if (work.empty()) {
        fs::remove_all(h.work);
    }
    return 0;
}
