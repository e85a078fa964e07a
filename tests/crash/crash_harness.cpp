// The crash harness: the real velmorado (In -> Arch compress, Arch -> Out
// uncompress, a program folder per copy) killed with SIGKILL at random moments,
// alone, with its archiver or its archiver alone, while files are dropped into
// In. In the end every file must be in Out exactly once, whole, with its
// attributes, and one more pass must leave In and Arch empty.
//   crash_harness [--seconds S] [--copies 1|2] [--slowfs LIB] [--work DIR]
// VELMORADO_CRASH_SEED gives the seed, VELMORADO_CRASH_SECONDS the default of
// --seconds; VELMORADO_CRASH_CHECK_PROGRAM_FOLDER=1 also checks that no hidden
// leftover stays in a program folder.

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Rng = std::mt19937_64; // the same sequence everywhere for a seed
using Xattrs = std::map<std::string, std::string>;

namespace {

std::string g_work = "(none yet)";

// The copies of the program die with the harness (PR_SET_PDEATHSIG).
[[noreturn]] void die(const std::string& message) {
    std::fprintf(stderr, "crash harness: FAILED: %s\nthe folders are kept in %s\n", message.c_str(),
                 g_work.c_str());
    std::_Exit(1);
}

uint64_t range(Rng& r, uint64_t lo, uint64_t hi) { // [lo, hi]
    return lo + r() % (hi - lo + 1);
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

// How many entries a folder holds, hidden ones included (only those when
// asked); none when it is missing.
long entryCount(const fs::path& folder, bool hiddenOnly = false) {
    std::error_code ec;
    return std::count_if(fs::directory_iterator(folder, ec), {}, [&](const auto& e) {
        return !hiddenOnly || e.path().filename().string()[0] == '.';
    });
}

Xattrs userXattrs(const fs::path& p) {
    Xattrs result;
    std::vector<char> list(65536), value(65536);
    const ssize_t n = ::llistxattr(p.c_str(), list.data(), list.size());
    for (const char* k = list.data(); k < list.data() + std::max<ssize_t>(n, 0);
         k += std::strlen(k) + 1) {
        const ssize_t v = ::lgetxattr(p.c_str(), k, value.data(), value.size());
        if (std::strncmp(k, "user.", 5) == 0) {
            result[k] = std::string(value.data(), size_t(std::max<ssize_t>(v, 0)));
        }
    }
    return result;
}

// One line of the list file for two ASCII paths (hexadecimal UTF-16LE).
std::string listLine(const fs::path& source, const fs::path& target) {
    std::string line;
    for (const std::string& path : {source.string(), target.string()}) {
        line += line.empty() ? "\"" : "\",\"";
        for (const unsigned char c : path) {
            if (c >= 0x80) {
                die("the work folder's path must be ASCII: " + path);
            }
            line += {"0123456789ABCDEF"[c >> 4], "0123456789ABCDEF"[c & 15], '0', '0'};
        }
    }
    return line + "\"\r\n";
}

struct TestFile {
    std::string name;
    uint64_t size = 0, contentSeed = 0;
    Xattrs xattrs;
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
    std::string n = std::to_string(i), name = shapes[i % 14 / 2][i % 2];
    if (i % 14 == 9) { // looks like an archive's number
        n = std::string(6 - std::min<size_t>(6, n.size()), '0') + n;
    }
    name.replace(name.find('#'), 1, n);
    for (const size_t want = i % 14 == 7 ? range(r, 200, 255) : 0; name.size() < want;) {
        name += name.size() + 3 > want ? "z" : range(r, 0, 1) ? "\xC3\xA9x" : "ab";
    }
    const uint64_t p = range(r, 0, 99);
    TestFile f{name,
               i % 11 == 0 ? 0
               : p < 72    ? range(r, 1, 64 * 1024)
               : p < 95    ? range(r, 64 * 1024, 1024 * 1024)
                           : range(r, 1024 * 1024, 3 * 1024 * 1024),
               r(), {}};
    static const char* const keys[] = {"user.DosStream.Zone.Identifier:$DATA",
                                       "user.org.netatalk.ResourceFork", "user.test",
                                       "user.com.apple.FinderInfo"};
    for (int k = 0, many = int(range(r, 0, 3)); k < many; ++k) {
        std::string value(range(r, 0, 300), '\0');
        std::generate(value.begin(), value.end(), [&] { return char(r()); });
        f.xattrs[keys[(i + k) % 4]] = value;
    }
    const fs::path path = folder / f.name;
    writeText(path, contentOf(f));
    for (const auto& [key, value] : f.xattrs) {
        if (::setxattr(path.c_str(), key.c_str(), value.data(), value.size(), 0) != 0) {
            die("cannot set " + key + " on " + path.string() + ": " + std::strerror(errno));
        }
    }
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
        const size_t close = stat.rfind(')');
        if (close != std::string::npos && stat.size() > close + 4 && stat[close + 2] != 'Z' &&
            stat.find("(rar)") != std::string::npos &&
            std::atol(stat.c_str() + close + 4) == parent) {
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
            for (const char* xdg : {"DATA_HOME", "CONFIG_HOME", "RUNTIME_DIR"}) {
                ::setenv((std::string("XDG_") + xdg).c_str(), (c.folder.string() + xdg).c_str(), 1);
            }
            const int log =
                ::open((c.folder.string() + ".out").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            const int none = ::open("/dev/null", O_RDONLY);
            if (::prctl(PR_SET_PDEATHSIG, SIGKILL) == 0 && log >= 0 && none >= 0 &&
                ::dup2(none, 0) == 0 && ::dup2(log, 1) == 1 && ::dup2(log, 2) == 2 &&
                ::chdir(work.c_str()) == 0) {
                const std::string exe = (c.folder / "velmorado").string();
                ::execl(exe.c_str(), exe.c_str(), nullptr);
            }
            std::_Exit(127);
        }
        if (c.pid < 0) {
            die(std::string("cannot start velmorado: ") + std::strerror(errno));
        }
    }

    // Collects every child that ended: the copies, and the archivers a killed
    // copy left to this harness (its subreaper). A copy ends only when killed
    // or after its last pass.
    void reap() {
        int status = 0;
        for (pid_t pid; (pid = ::waitpid(-1, &status, WNOHANG)) > 0;) {
            for (Copy& c : copies) {
                if (c.pid == pid && !(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) &&
                    status != 0) {
                    die("velmorado in " + c.folder.string() + " ended by itself with status " +
                        std::to_string(status) + "; its output:\n" +
                        readText(c.folder.string() + ".out"));
                }
                c.pid = c.pid == pid ? 0 : c.pid;
            }
        }
    }

    // Reaps until done() or ms have passed; whether done() came true.
    template <class Done> bool waitFor(const Done& done, int64_t ms, int pollMs = 2) {
        const auto limit = Clock::now() + std::chrono::milliseconds(ms);
        for (reap(); !done(); reap()) {
            if (Clock::now() > limit) {
                return false;
            }
            ::usleep(useconds_t(pollMs) * 1000);
        }
        return true;
    }

    bool arrived(const std::vector<TestFile>& all) {
        std::error_code ec;
        return entryCount(in) + entryCount(arch) == 0 &&
               std::all_of(all.begin(), all.end(), [&](const TestFile& f) {
                   return fs::file_size(out / f.name, ec) == f.size && !ec;
               });
    }

    // One kill: the program alone (its archiver runs on, orphaned), with its
    // archiver, or the archiver alone; at a random time after the start, or
    // after an archiver appeared (packing, unpacking or either), or just after
    // it ended (the archive made, or the file taken out, on its way to its target).
    void startStopped() {
        for (Copy& c : copies) {
            if (c.pid == 0) {
                start(c, false);
            }
        }
    }

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
        if (moment >= 30) {
            waitFor([&] { return c.pid == 0 || running(); }, command == "e" ? 6000 : 2500);
        }
        if (afterEnd) {
            waitFor([&] { return c.pid == 0 || !running(); }, 5000);
        }
        ::usleep(useconds_t(moment < 30 ? range(plan, 100, 1200)
                            : !afterEnd ? range(plan, 0, 150)
                                        : range(plan, 0, command == "a" ? 20 : 40)) *
                 1000);
        reap();
        const auto archivers = archiversOf(c.pid);
        if (c.pid == 0) {
            return;
        }
        const bool alone = kind >= 70 && !archivers.empty();
        ++kills;
        ++phases[std::string(alone ? "" : "program, ") +
                 (archivers.empty()            ? "no archiver running"
                  : archivers[0].second == "a" ? "archiver packing"
                                               : "archiver unpacking") +
                 (alone ? " alone" : "")];
        ::kill(alone ? archivers[0].first : c.pid, SIGKILL);
        for (const auto& a : archivers) {
            if (kind >= 35 && !alone) {
                ::kill(a.first, SIGKILL);
            }
        }
        if (!waitFor([&] { return alone || c.pid == 0; }, 60000)) {
            die("a killed velmorado did not end");
        }
    }

    // Batches of 10 files for three quarters of the time (and until at least
    // 100 kills per three minutes): the next batch comes when the last has
    // arrived, or when its share of the time is over, so that files are being
    // packed and unpacked all the time; at least four batches per 30 seconds.
    std::vector<TestFile> dropAndKill() {
        const int minBatches = std::max(2, seconds * 4 / 30), minKills = seconds * 100 / 180;
        const auto begin = Clock::now(), hardEnd = begin + std::chrono::seconds(seconds);
        const auto killEnd = begin + (hardEnd - begin) * 3 / 4;
        std::vector<TestFile> all;
        int batches = 0;
        auto lastDrop = begin;
        const auto dropBatch = [&] {
            for (int k = 0; k < 10; ++k) {
                all.push_back(dropFile(in, files, int(all.size())));
            }
            lastDrop = Clock::now();
            ++batches;
        };
        for (dropBatch(); Clock::now() < killEnd || (kills < minKills && Clock::now() < hardEnd);
             killOnce()) {
            const bool done = arrived(all);
            if (done && batches >= 2 * minBatches) {
                break;
            }
            if (done || (batches < minBatches &&
                         Clock::now() - lastDrop > (killEnd - begin) / minBatches)) {
                dropBatch();
            }
        }
        while (batches < minBatches) {
            dropBatch();
        }
        return all;
    }

    void run(bool checkProgramFolder) {
        for (size_t i = 0; i < copies.size(); ++i) {
            Copy& c = copies[i];
            c.folder = work / ("program" + std::to_string(i + 1));
            for (const auto& p : {in, arch, out, c.folder / "logs"}) {
                fs::create_directories(p);
            }
            for (const char* xdg : {"DATA_HOME", "CONFIG_HOME", "RUNTIME_DIR"}) {
                fs::create_directories(c.folder.string() + xdg);
            }
            for (const char* exe : {"velmorado", "rar"}) { // copies: the program finds its folder
                fs::copy_file(bin / exe, c.folder / exe, fs::copy_options::overwrite_existing);
            }
            writeText(c.folder / "Velmorado.w", listLine(in, arch) + listLine(arch, out));
        }
        const std::vector<TestFile> all = dropAndKill();
        startStopped();
        if (!waitFor([&] { return arrived(all); }, 300000, 50)) {
            die("files did not arrive within 300 s of the last kill");
        }
        // Every copy stopped, every orphaned archiver ended, then one more pass
        // of each copy on its own that ends by itself.
        for (const Copy& c : copies) {
            ::kill(c.pid, SIGKILL); // none has ended by itself since startStopped()
        }
        const auto stopped = [&] {
            return std::all_of(copies.begin(), copies.end(),
                               [](const Copy& c) { return c.pid == 0; });
        };
        if (!waitFor([&] { return stopped() && archiversOf(::getpid()).empty(); }, 120000, 10)) {
            die("a killed copy or an orphaned archiver did not end");
        }
        for (Copy& c : copies) {
            start(c, true);
            if (!waitFor([&] { return c.pid == 0; }, 120000, 20)) {
                die("the last pass of " + c.folder.string() + " did not end by itself");
            }
            if (checkProgramFolder && entryCount(c.folder, true) != 0) {
                die("a leftover in the program folder " + c.folder.string());
            }
        }
        if (entryCount(in) + entryCount(arch) != 0) {
            die("In or Arch not empty after the last pass");
        }
        for (const TestFile& f : all) {
            const fs::path p = out / f.name;
            const char* fault = !fs::is_regular_file(fs::symlink_status(p)) ? "lost"
                                : readText(p) != contentOf(f)               ? "damaged content"
                                : userXattrs(p) != f.xattrs ? "extended attributes differ"
                                                            : nullptr;
            if (fault != nullptr) {
                die(fault + (": " + f.name));
            }
        }
        if (entryCount(out) != long(all.size())) { // all there once: anything more is no user file
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
    const char* seedText = std::getenv("VELMORADO_CRASH_SEED");
    const auto seed = seedText ? std::strtoull(seedText, nullptr, 10)
                               : Clock::now().time_since_epoch().count();
    Harness h;
    const int copies = std::atoi(o["--copies"].c_str());
    h.seconds = std::atoi(o["--seconds"].c_str());
    if (copies < 1 || copies > 2 || h.seconds < 10) {
        die("--copies is 1 or 2, --seconds at least 10");
    }
    h.copies.resize(size_t(copies));
    std::string work = o["--work"],
                temporary = fs::temp_directory_path() / "velmorado-crash.XXXXXX";
    if (work.empty() && ::mkdtemp(temporary.data()) == nullptr) {
        die("cannot make a work folder");
    }
    fs::create_directories(work.empty() ? temporary : work);
    g_work = (h.work = fs::canonical(work.empty() ? temporary : work)).string();
    h.in = h.work / "In", h.arch = h.work / "Arch", h.out = h.work / "Out";
    std::fprintf(stderr, "crash harness: VELMORADO_CRASH_SEED=%llu, %d s, %zu copies\n",
                 (unsigned long long)seed, h.seconds, h.copies.size());
    h.files.seed(seed), h.plan.seed(seed ^ 0x5eedf00dULL);
    // What the copies inherit: no desktop or service of the harness's own, the
    // library that gives the folders a share's latency when asked.
    for (char** e = environ; *e != nullptr;) {
        const std::string v = *e, name = v.substr(0, v.find('='));
        const bool drop = name.rfind("XDG_", 0) == 0 || name == "VELMORADO_SERVICE";
        e = drop && ::unsetenv(name.c_str()) == 0 ? environ : e + 1;
    }
    ::setenv("LD_PRELOAD", o["--slowfs"].c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("LC_ALL", "C.UTF-8", 1);
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    const char* check = std::getenv("VELMORADO_CRASH_CHECK_PROGRAM_FOLDER");
    h.run(check != nullptr && std::string(check) == "1");
    if (work.empty()) {
        fs::remove_all(h.work);
    }
}
