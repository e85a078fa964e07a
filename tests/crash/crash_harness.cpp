// The crash harness: the real velmorado (In -> Arch compress, Arch -> Out
// uncompress, a program folder per copy) killed with SIGKILL at random moments
// while files are dropped into In; in the end every file must be in Out exactly
// once, whole, with its attributes, and one more pass must leave nothing behind.
//   [VELMORADO_CRASH_SEED=N] crash_harness [--seconds S] [--copies 1|2] [--slowfs LIB] [--work DIR]
// VELMORADO_CRASH_SECONDS is the default of --seconds.

#include "ProgramFolderKit.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Rng = std::mt19937_64; // the same sequence everywhere for a seed

namespace {

std::string g_work = "(none yet)";

[[noreturn]] void die(const std::string& message) {
    std::fprintf(stderr, "crash harness: FAILED: %s\nthe folders are kept in %s\n", message.c_str(),
                 g_work.c_str());
    std::_Exit(1);
}

uint64_t range(Rng& r, uint64_t lo, uint64_t hi) { // [lo, hi]
    return lo + r() % (hi - lo + 1);
}

QString q(const fs::path& p) {
    return QString::fromStdString(p.string());
}

std::string readText(const fs::path& p) {
    return filekit::readFile(q(p)).toStdString();
}

void writeText(const fs::path& p, const std::string& data) {
    if (!(std::ofstream(p, std::ios::binary | std::ios::trunc) << data)) {
        die("cannot write " + p.string());
    }
}

struct TestFile {
    std::string name;
    uint64_t size = 0, contentSeed = 0;
    QList<QByteArray> xattrs; // as read back when it was dropped
};

std::string contentOf(const TestFile& f) {
    std::string data(f.size, '\0');
    Rng r(f.contentSeed);
    std::generate(data.begin(), data.end(), [&] { return char(r()); });
    return data;
}

// A file dropped into folder, an hour old so that its quiet period is over.
// Its name is one that a command line, a careless join, a length limit or a
// normalisation would break ('#' stands for its number; the decomposed and
// the precomposed accents make two files).
TestFile dropFile(const fs::path& folder, Rng& r, int i) {
    static const char* const shapes[7][2] = {
        {"report #.doc", "quote \"#\" and 'apostrophe' & <tag>.txt"},
        {"-# leading dash", "line\nbreak #\ttab"},
        {"\xF0\x9F\x98\x80 emoji # \xF0\x9F\x8E\x89.bin",
         "Cafe\xCC\x81 re\xCC\x81sume\xCC\x81 #.txt"},
        {"Caf\xC3\xA9 r\xC3\xA9sum\xC3\xA9 #.txt", "long # "},
        {" leading blank; $HOME `cmd` *?[ab]\\ #.bin", "RA#.rar.txt"},
        {"\xE6\x96\x87\xE4\xBB\xB6 # \xD9\x85\xD9\x84\xD9\x81", "trailing blank # "},
        {"--# -df -os", "plain#"}};
    char n[16]; // "RA#.rar.txt" looks like an archive's name
    std::snprintf(n, sizeof n, i % 14 == 9 ? "%06d" : "%d", i);
    std::string name = shapes[i % 14 / 2][i % 2];
    name.replace(name.find('#'), 1, n);
    for (const size_t want = i % 14 == 7 ? range(r, 200, 255) : 0; name.size() < want;) {
        name += name.size() + 3 > want ? "z" : range(r, 0, 1) ? "\xC3\xA9x" : "ab";
    }
    const uint64_t p = range(r, 0, 99), size = i % 11 == 0 ? 0
                                               : p < 72    ? range(r, 1, 64 * 1024)
                                               : p < 95    ? range(r, 64 * 1024, 1024 * 1024)
                                                           : range(r, 1024 * 1024, 3 * 1024 * 1024);
    TestFile f{name, size, r(), {}};
    static const char* const keys[] = {"user.DosStream.Zone.Identifier:$DATA",
                                       "user.org.netatalk.ResourceFork", "user.test",
                                       "user.com.apple.FinderInfo"};
    const fs::path path = folder / f.name;
    writeText(path, contentOf(f));
    for (int k = 0, many = int(range(r, 0, 3)); k < many; ++k) {
        QByteArray value(qsizetype(range(r, 0, 300)), '\0');
        std::generate(value.begin(), value.end(), [&] { return char(r()); });
        if (!filekit::setXattr(q(path), keys[(i + k) % 4], value)) {
            die("cannot set an attribute on " + path.string() + ": " + std::strerror(errno));
        }
    }
    f.xattrs = filekit::userXattrs(q(path));
    fs::last_write_time(path, fs::last_write_time(path) - std::chrono::hours(1));
    return f;
}

// The running archivers ("rar", with their command "a" or "e") whose parent
// is parent: a copy, or this harness for those a killed copy left behind.
std::vector<std::pair<pid_t, std::string>> archiversOf(pid_t parent) {
    std::vector<std::pair<pid_t, std::string>> found;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/proc", ec)) {
        const std::string stat = readText(e.path() / "stat");
        const size_t at = stat.find("(rar) "); // then the state and the parent
        if (at != std::string::npos && stat[at + 6] != 'Z' && std::atol(&stat[at + 8]) == parent) {
            const std::string cmd = readText(e.path() / "cmdline") + std::string(1, 0);
            const size_t arg = cmd.find('\0');
            found.emplace_back(std::atol(e.path().filename().c_str()),
                               cmd.substr(arg + 1, cmd.find('\0', arg + 1) - arg - 1));
        }
    }
    return found;
}

struct Copy {
    fs::path folder; // the program folder; its output goes to folder + ".out"
    pid_t pid = 0;   // the running velmorado, 0 when none
};

struct Harness {
    fs::path bin = VELMORADO_BIN_DIR, work, in, arch, out;
    int seconds = 180, kills = 0;
    Rng plan, files;
    std::vector<Copy> copies;
    std::map<std::string, int> phases; // kills by the step of the work

    void start(Copy& c, bool stopAfterFirstPass) {
        // Written before every start, keeping what the program stored itself.
        const fs::path ini = c.folder / "Velmorado.ini";
        const std::string old = readText(ini);
        writeText(ini, std::string("[Configuration]\r\nAutomatique=1\r\nTemporisation=1\r\n") +
                           (stopAfterFirstPass ? "ArretAutomatique=1\r\n" : "") +
                           "[Logs]\r\nLogs=1\r\nFichiersLogs=1\r\nPathLogs=" +
                           (c.folder / "logs").string() +
                           "\r\n[Rar_1]\r\nNbTemporisations=1\r\nRar=0\r\nEnable=1\r\n"
                           "[Rar_2]\r\nNbTemporisations=1\r\nRar=1\r\nEnable=1\r\n" +
                           old.substr(std::min(old.find("[Processing]"), old.size())));
        if ((c.pid = ::fork()) == 0) {
            for (const char* xdg : {"DATA_HOME", "CONFIG_HOME", "RUNTIME_DIR"}) { // of its own
                fs::create_directories(c.folder.string() + xdg);
                ::setenv((std::string("XDG_") + xdg).c_str(), (c.folder.string() + xdg).c_str(), 1);
            }
            if (::prctl(PR_SET_PDEATHSIG, SIGKILL) == 0 && ::chdir(work.c_str()) == 0 &&
                std::freopen((c.folder.string() + ".out").c_str(), "a", stdout) &&
                ::dup2(1, 2) == 2) {
                const std::string exe = (c.folder / "velmorado").string();
                ::execl(exe.c_str(), exe.c_str(), nullptr);
            }
            std::_Exit(127);
        }
        if (c.pid < 0) {
            die(std::string("cannot start velmorado: ") + std::strerror(errno));
        }
    }

    // Collects the copies that ended (only killed, or after their last pass) and
    // the archivers a killed copy left to this harness (its subreaper).
    void reap() {
        int status = 0;
        for (pid_t pid; (pid = ::waitpid(-1, &status, WNOHANG)) > 0;) {
            for (Copy& c : copies) {
                if (c.pid == pid && status != 0 && status != SIGKILL) { // the wait status of a kill
                    die("velmorado in " + c.folder.string() + " ended by itself with status " +
                        std::to_string(status) + "; its output:\n" +
                        readText(c.folder.string() + ".out"));
                }
                c.pid = c.pid == pid ? 0 : c.pid;
            }
        }
    }

    // Reaps until done() or ms have passed (a failure when why is given).
    void waitFor(const auto& done, int64_t ms, const char* why = nullptr, int pollMs = 2) {
        const auto limit = Clock::now() + std::chrono::milliseconds(ms);
        for (reap(); !done(); reap()) {
            if (Clock::now() > limit) {
                return why != nullptr ? die(why) : void();
            }
            ::usleep(useconds_t(pollMs) * 1000);
        }
    }

    bool arrived(const std::vector<TestFile>& all) {
        std::error_code ec;
        return (filekit::entries(q(in)) + filekit::entries(q(arch))).isEmpty() &&
               std::all_of(all.begin(), all.end(), [&](const TestFile& f) {
                   return fs::file_size(out / f.name, ec) == f.size && !ec;
               });
    }

    void startStopped() {
        for (Copy& c : copies) {
            if (c.pid == 0) {
                start(c, false);
            }
        }
    }

    // One kill: the program alone (its archiver runs on, orphaned), with its
    // archiver, or the archiver alone; at a random time after the start, or
    // after an archiver appeared (packing, unpacking or either), or just after
    // it ended (the archive made, or the file taken out, on its way to its target).
    void killOnce() {
        startStopped();
        Copy& c = copies[range(plan, 0, copies.size() - 1)];
        const int kind = int(range(plan, 0, 99)), moment = int(range(plan, 0, 99));
        const bool afterEnd = (moment >= 55 && moment < 65) || moment >= 85;
        const std::string command = moment < 40 ? "" : moment < 65 ? "a" : "e";
        const auto running = [&] {
            const auto all = archiversOf(c.pid);
            return std::any_of(all.begin(), all.end(), [&](const auto& a) {
                return command.empty() || a.second == command;
            });
        };
        waitFor([&] { return moment < 30 || c.pid == 0 || running(); },
                command == "e" ? 6000 : 2500);
        waitFor([&] { return !afterEnd || c.pid == 0 || !running(); }, 5000);
        waitFor([] { return false; }, moment < 30 ? range(plan, 100, 1200)
                                      : !afterEnd ? range(plan, 0, 150)
                                                  : range(plan, 0, command == "a" ? 20 : 40));
        const auto archivers = archiversOf(c.pid);
        if (c.pid == 0) {
            return;
        }
        const bool alone = kind >= 70 && !archivers.empty();
        ++kills;
        const std::string doing = archivers.empty()            ? "no archiver running"
                                  : archivers[0].second == "a" ? "archiver packing"
                                                               : "archiver unpacking";
        ++phases[alone ? doing + " alone" : "program, " + doing];
        ::kill(alone ? archivers[0].first : c.pid, SIGKILL);
        for (size_t k = 0; kind >= 35 && !alone && k < archivers.size(); ++k) {
            ::kill(archivers[k].first, SIGKILL); // with its archiver
        }
        waitFor([&] { return alone || c.pid == 0; }, 60000, "a killed velmorado did not end");
    }

    // Batches of 10 files for three quarters of the time (and until 100 kills per
    // three minutes), at least four per 30 seconds: the next comes when the last
    // has arrived or when its time has come, so that files are always in flight.
    std::vector<TestFile> dropAndKill() {
        const int minBatches = std::max(2, seconds * 4 / 30), minKills = seconds * 100 / 180;
        const auto begin = Clock::now(), hardEnd = begin + std::chrono::seconds(seconds);
        const auto killEnd = begin + (hardEnd - begin) * 3 / 4;
        std::vector<TestFile> all;
        const auto dropBatch = [&] {
            for (int k = 0; k < 10; ++k) {
                all.push_back(dropFile(in, files, int(all.size())));
            }
        };
        for (dropBatch(); Clock::now() < killEnd || (kills < minKills && Clock::now() < hardEnd);
             killOnce()) {
            const int batches = int(all.size() / 10);
            const bool done = arrived(all);
            if (done && batches >= 2 * minBatches) {
                break;
            }
            if (done || (batches < minBatches &&
                         Clock::now() > begin + (killEnd - begin) * batches / minBatches)) {
                dropBatch();
            }
        }
        while (int(all.size() / 10) < minBatches) {
            dropBatch();
        }
        return all;
    }

    void run() {
        for (size_t i = 0; i < copies.size(); ++i) {
            Copy& c = copies[i];
            c.folder = work / ("program" + std::to_string(i + 1));
            for (const auto& p : {in, arch, out, c.folder / "logs"}) {
                fs::create_directories(p);
            }
            for (const char* exe : {"velmorado", "rar"}) { // copies: the program finds its folder
                fs::copy_file(bin / exe, c.folder / exe, fs::copy_options::overwrite_existing);
            }
            writeText(c.folder / "Velmorado.w",
                      (programkit::listLine(q(in), q(arch)) + programkit::listLine(q(arch), q(out)))
                          .toStdString());
        }
        const std::vector<TestFile> all = dropAndKill();
        startStopped();
        waitFor([&] { return arrived(all); }, 300000,
                "files did not arrive in 300 s after the kills", 50);
        // Every copy stopped, every orphaned archiver ended, then one more pass
        // of each copy on its own that ends by itself.
        for (Copy& c : copies) {
            if (c.pid > 0) {
                ::kill(c.pid, SIGKILL);
            }
            waitFor([&] { return c.pid == 0; }, 60000, "a killed velmorado did not end");
        }
        waitFor([] { return archiversOf(::getpid()).empty(); }, 120000, "an orphan hangs", 10);
        for (Copy& c : copies) {
            start(c, true);
            waitFor([&] { return c.pid == 0; }, 120000, "a last pass did not end by itself", 20);
            if (filekit::entries(q(c.folder))
                    .value(0)
                    .startsWith('.')) { // e.g. .Velmorado.ini.XXXXXX
                die("a hidden leftover in the program folder " + c.folder.string());
            }
        }
        if (!(filekit::entries(q(in)) + filekit::entries(q(arch))).isEmpty()) {
            die("In or Arch not empty after the last pass");
        }
        for (const TestFile& f : all) {
            const fs::path p = out / f.name;
            if (!fs::is_regular_file(fs::symlink_status(p)) || readText(p) != contentOf(f) ||
                filekit::userXattrs(q(p)) != f.xattrs) {
                die("lost, damaged or without its attributes: " + f.name);
            }
        }
        // Every file there once: anything more is no user file.
        if (filekit::entries(q(out)).size() != qsizetype(all.size())) {
            die("Out holds more than the user files");
        }
        std::printf("crash harness: %zu files in Out exactly once, whole, with their attributes; "
                    "In and Arch empty\ncrash harness: %d kills survived\n",
                    all.size(), kills);
        for (const auto& [phase, many] : phases) {
            std::printf("    %4d  %s\n", many, phase.c_str());
        }
    }
};

// A whole number from low to high, or the harness stops saying which value is wrong.
unsigned long long number(const std::string& text, unsigned long long low, unsigned long long high,
                          const char* what) {
    char* end = nullptr;
    errno = 0;
    const unsigned long long n = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || text[0] == '-' || n < low || n > high) {
        die(std::string(what) + " must be a whole number from " + std::to_string(low) + " to " +
            std::to_string(high) + ", not \"" + text + "\"");
    }
    return n;
}

} // namespace

int main(int argc, char** argv) {
    const char* seconds = std::getenv("VELMORADO_CRASH_SECONDS");
    std::map<std::string, std::string> o = {{"--seconds", seconds ? seconds : "180"},
                                            {"--copies", "1"},
                                            {"--work", ""},
                                            {"--slowfs", ""}};
    for (int i = 1; i < argc; i += 2) {
        if (o.count(argv[i]) == 0 || i + 1 == argc) {
            die(std::string("unknown argument, or no value after it: ") + argv[i]);
        }
        o[argv[i]] = argv[i + 1];
    }
    const char* given = std::getenv("VELMORADO_CRASH_SEED");
    const auto seed = given ? number(given, 0, ULLONG_MAX, "VELMORADO_CRASH_SEED")
                            : Clock::now().time_since_epoch().count();
    Harness h;
    h.seconds = int(number(o["--seconds"], 10, 86400, "--seconds"));
    h.copies.resize(number(o["--copies"], 1, 2, "--copies"));
    const bool keep = !o["--work"].empty();
    std::string work =
        keep ? o["--work"] : fs::temp_directory_path().string() + "/velmorado-crash.XXXXXX";
    if (keep ? !fs::create_directories(work) && !fs::is_directory(work) : !::mkdtemp(work.data())) {
        die("cannot make the work folder " + work);
    }
    g_work = (h.work = fs::canonical(work)).string();
    h.in = h.work / "In", h.arch = h.work / "Arch", h.out = h.work / "Out";
    std::fprintf(stderr, "crash harness: VELMORADO_CRASH_SEED=%llu, %d s, %zu copies\n",
                 (unsigned long long)seed, h.seconds, h.copies.size());
    h.files.seed(seed), h.plan.seed(seed ^ 0x5eedf00dULL);
    // The copies inherit no desktop or service of the harness's own; the slow folders.
    for (char** e = environ; *e != nullptr;) {
        const std::string v = *e, name = v.substr(0, v.find('='));
        const bool drop = name.rfind("XDG_", 0) == 0 || name == "VELMORADO_SERVICE";
        e = drop && ::unsetenv(name.c_str()) == 0 ? environ : e + 1;
    }
    ::setenv("LD_PRELOAD", o["--slowfs"].c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("LC_ALL", "C.UTF-8", 1);
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    h.run();
    if (!keep) {
        fs::remove_all(h.work);
    }
}
