// The crash harness: the real velmorado killed with SIGKILL at random moments
// while files are dropped; in the end every file must be in Out exactly once,
// whole, with its attributes, and one more pass must leave nothing behind.
//  - chain (the default): a program folder per copy, each with In -> Arch
//    (compress) and Arch -> Out (uncompress); --copies 2 runs two on them;
//  - share: two machines chained through a share, each with its own numbers:
//    A has In -> Share (compress); B has Share -> Arch (compress: it relays
//    A's archives and packs what users drop in Share) and Arch -> Out.
// Some names are saved again and again (the last saved must arrive), some are
// named like the program's own files (numbered, hidden, a daily log's): they
// are the user's files and travel like any other.
//   [VELMORADO_CRASH_SEED=N] crash_harness [--seconds S] [--copies 1|2]
//                  [--topology chain|share] [--slowfs LIB] [--work DIR]
// VELMORADO_CRASH_SECONDS is the default of --seconds (else 180; 100 for share).

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
#include <set>
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
    std::fflush(stdout); // what was printed before, in order
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

// What a user name may hold, for messages: line breaks and tabs shown.
std::string shown(const std::string& name) {
    std::string text = "\"";
    for (const char c : name) {
        text += c == '\n' ? "\\n" : c == '\t' ? "\\t" : std::string(1, c);
    }
    return text + '"';
}

struct TestFile {
    std::string name;
    uint64_t size = 0, contentSeed = 0; // size: of the whole file
    int version = 0;                    // of a name saved several times; 0: saved once
    QList<QByteArray> xattrs;           // as read back when it was written
};

// A version begins with its name and number, so that an older version found
// in Out is told apart from the last one saved.
std::string headOf(const TestFile& f) {
    return f.version > 0 ? f.name + " v" + std::to_string(f.version) + "\n" : std::string();
}

std::string contentOf(const TestFile& f) {
    std::string data = headOf(f);
    const size_t head = data.size();
    data.resize(std::max<size_t>(f.size, head), '\0');
    Rng r(f.contentSeed);
    std::generate(data.begin() + ptrdiff_t(head), data.end(), [&] { return char(r()); });
    return data;
}

uint64_t randomSize(Rng& r, int i) {
    const uint64_t p = range(r, 0, 99);
    return i % 11 == 0 ? 0
           : p < 72    ? range(r, 1, 64 * 1024)
           : p < 95    ? range(r, 64 * 1024, 1024 * 1024)
                       : range(r, 1024 * 1024, 3 * 1024 * 1024);
}

// Writes f at path with none to three user.* attributes (the key-th key
// first), an hour old so that its quiet period is over.
void writeWithAttributes(const fs::path& path, TestFile& f, Rng& r, int key) {
    static const char* const keys[] = {"user.DosStream.Zone.Identifier:$DATA",
                                       "user.org.netatalk.ResourceFork", "user.test",
                                       "user.com.apple.FinderInfo"};
    writeText(path, contentOf(f));
    for (int k = 0, many = int(range(r, 0, 3)); k < many; ++k) {
        QByteArray value(qsizetype(range(r, 0, 300)), '\0');
        std::generate(value.begin(), value.end(), [&] { return char(r()); });
        if (!filekit::setXattr(q(path), keys[(key + k) % 4], value)) {
            die("cannot set an attribute on " + path.string() + ": " + std::strerror(errno));
        }
    }
    f.xattrs = filekit::userXattrs(q(path));
    fs::last_write_time(path, fs::last_write_time(path) - std::chrono::hours(1));
}

// The i-th file, its name one that a command line, a careless join, a length
// limit or a normalisation would break ('#' stands for its number; the
// decomposed and the precomposed accents make two files).
TestFile ordinaryFile(Rng& r, int i) {
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
    const uint64_t size = randomSize(r, i);
    return TestFile{name, size, r(), 0, {}};
}

// The i-th file, named like one of the program's own files or nearly, and yet
// a user's file: what the program makes is a data file and its name file side
// by side, a numbered archive, hidden temporaries of its own forms, and logs
// in the log folder. last is the number the copy that compresses the file's
// folder stored last: a number just after it is the next compression's, whose
// wildcard (RA000124.r?) meets a user's RA000124.r1; a data or name file
// alone takes a number far ahead, which no compression of a run reaches, so
// it is never beside a real partner.
TestFile lookalikeFile(Rng& r, int i, int32_t last) {
    const int near = int((last + range(r, 1, 3)) % 1000000), far = int(range(r, 500000, 999999));
    const char tail = "0123456789abz_~-"[range(r, 0, 15)]; // never the r or n of ours
    const auto f = [](const char* format, auto... values) {
        char n[64];
        std::snprintf(n, sizeof n, format, values...);
        return std::string(n);
    };
    const std::string shapes[] = {
        f("RA%06d.r%c", near, tail), f("ra%06d.R%c", near, tail),
        f("RA%06d.rr", far),                              // no name file beside it
        f("RA%06d.rn", far),                              // not a name file's content
        f("._report %d.doc", i),                          // a Mac's AppleDouble
        f(".profile %d", i), f(".velmorado-x-%d.txt", i), // a file, no folder
        // Named like a daily log, but not one (those stay where they are).
        f("Log Velmorado %04d-%02d-%02d (copy %d).htm", 2030 + i / 336, i / 28 % 12 + 1, i % 28 + 1,
          i),
        f("RB%06d.rar", near),      // another prefix
        f("RA%05d.rar", i % 100000) // five digits
    };
    const std::string name = shapes[range(r, 0, 9)];
    const uint64_t size = randomSize(r, i);
    return TestFile{name, size, r(), 0, {}};
}

// Names saved again and again, in turn, each in one folder: In's (and Share's).
const char* const kSavedAgain[2][3] = {
    {".htaccess", "Log Velmorado 2026-12-01 (kept copy).htm", "report final.doc"},
    {".env", "budget \xE2\x80\x94 draft.xls", "minutes"}};

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

struct Pair {
    fs::path source, target;
    bool compress = true;
};

struct Copy {
    fs::path folder;             // the program folder; its output goes to folder + ".out"
    std::string label;           // in the kill counts: "" or the machine, "A: "
    std::vector<Pair> pairs;     // its list, in order
    pid_t pid = 0;               // the running velmorado, 0 when none
    Clock::time_point downUntil; // not started again before

    bool unpacks() const {
        return std::any_of(pairs.begin(), pairs.end(), [](const Pair& p) { return !p.compress; });
    }
    // The archive number it handed out last (0 before its first), as near as
    // can be seen from outside: what it stored, or, while a walk has stored
    // numbers ahead of the files it still packs, the highest number of its
    // compress pairs' folders within that reach.
    int32_t lastNumber() const {
        const std::string ini = readText(folder / "Velmorado.ini"), key = "LastFileNumber=";
        const size_t at = ini.find(key);
        const int32_t stored =
            at == std::string::npos ? 0 : int32_t(std::atol(ini.c_str() + at + key.size()));
        int32_t seen = -1;
        std::error_code e;
        for (const Pair& p : pairs) {
            for (const fs::path& f : {p.source, p.target}) {
                for (const auto& entry : fs::directory_iterator(f, e)) {
                    const std::string n = entry.path().filename().string();
                    if (p.compress && n.size() >= 10 && (n[0] | 0x20) == 'r' &&
                        (n[1] | 0x20) == 'a' && n[8] == '.' && (n[9] | 0x20) == 'r' &&
                        std::all_of(n.begin() + 2, n.begin() + 8, ::isdigit)) {
                        seen = std::max(seen, int32_t(std::atol(n.c_str() + 2)));
                    }
                }
            }
        }
        return seen >= 0 && seen < stored && stored - seen <= 64 ? seen : stored;
    }
};

struct Harness {
    fs::path bin = VELMORADO_BIN_DIR, work, in, share, arch, out;
    int seconds = 180, kills = 0;
    bool twoMachines = false; // the share topology; else copies on the same folders
    Rng plan, files;
    std::vector<Copy> copies;
    std::map<std::string, int> phases; // kills by the step of the work
    std::vector<fs::path> sources;     // what must be empty in the end
    std::vector<TestFile> all;         // the files to arrive, each name's last version
    std::map<std::string, std::vector<TestFile>> versions; // of the names saved again
    std::set<std::string> names;                           // every name given out
    int lookalikes = 0;
    int starts = 0;
    int rar5Starts = 0;                // starts that made RAR 5 archives
    std::vector<std::string> problems; // found at the end, all said at once

    void start(Copy& c, bool stopAfterFirstPass) {
        // Written before every start, keeping what the program stored itself.
        const fs::path ini = c.folder / "Velmorado.ini";
        const std::string old = readText(ini);
        // One start in three makes RAR 5 archives (for Windows machines): both
        // formats are in flight, and either side may unpack either.
        const bool rar5 = range(plan, 0, 2) == 0;
        ++starts;
        rar5Starts += rar5 ? 1 : 0;
        std::string text =
            std::string("[Configuration]\r\nAutomatique=1\r\nTemporisation=1\r\n") +
            (stopAfterFirstPass ? "ArretAutomatique=1\r\n" : "") +
            (rar5 ? "FormatRar5=1\r\n" : "") +
            "[Logs]\r\nLogs=1\r\nFichiersLogs=1\r\nPathLogs=" + (c.folder / "logs").string() +
            "\r\n";
        // A pair that takes archives (from Arch, or Share's to relay) runs at
        // every pass or only at every second or third: archives then pile up,
        // several versions of a name among them.
        for (size_t k = 0; k < c.pairs.size(); ++k) {
            const bool takesArchives = c.pairs[k].source != in;
            const uint64_t every = takesArchives && !stopAfterFirstPass ? range(plan, 1, 3) : 1;
            text += "[Rar_" + std::to_string(k + 1) +
                    "]\r\nNbTemporisations=" + std::to_string(every) +
                    "\r\nRar=" + (c.pairs[k].compress ? "0" : "1") + "\r\nEnable=1\r\n";
        }
        writeText(ini, text + old.substr(std::min(old.find("[Processing]"), old.size())));
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

    // What In, Share and Arch hold, hidden entries included.
    std::string leftInSources() {
        std::string left;
        for (const fs::path& folder : sources) {
            for (const QString& name : filekit::entries(q(folder))) {
                left += " " + folder.filename().string() + "/" + shown(name.toStdString());
            }
        }
        return left;
    }

    // The names not in Out (a name saved again: none of its versions).
    std::string missing() {
        std::string list;
        std::error_code ec;
        for (const TestFile& f : all) {
            if (!fs::exists(fs::symlink_status(out / f.name, ec))) {
                list += " " + shown(f.name);
            }
        }
        return list;
    }

    // Nothing left on the way, every file in Out (one saved once at its size).
    bool arrived() {
        std::error_code ec;
        return leftInSources().empty() &&
               std::all_of(all.begin(), all.end(), [&](const TestFile& f) {
                   return f.version > 0 ? fs::exists(out / f.name, ec)
                                        : fs::file_size(out / f.name, ec) == f.size && !ec;
               });
    }

    void startStopped() {
        for (Copy& c : copies) {
            if (c.pid == 0 && Clock::now() >= c.downUntil) {
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
        if (c.pid == 0) { // a machine that is down for a while
            return waitFor([] { return false; }, 50);
        }
        const int kind = int(range(plan, 0, 99)), moment = int(range(plan, 0, 99));
        const bool afterEnd = (moment >= 55 && moment < 65) || moment >= 85;
        const std::string command = moment < 40 ? "" : moment < 65 || !c.unpacks() ? "a" : "e";
        const auto running = [&] {
            const auto found = archiversOf(c.pid);
            return std::any_of(found.begin(), found.end(), [&](const auto& a) {
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
        ++phases[c.label + (alone ? doing + " alone" : "program, " + doing)];
        ::kill(alone ? archivers[0].first : c.pid, SIGKILL);
        for (size_t k = 0; kind >= 35 && !alone && k < archivers.size(); ++k) {
            ::kill(archivers[k].first, SIGKILL); // with its archiver
        }
        waitFor([&] { return alone || c.pid == 0; }, 60000, "a killed velmorado did not end");
        // A machine stays down a few seconds now and then, while the other
        // goes on: what it is to take piles up.
        if (twoMachines && !alone && range(plan, 0, 3) == 0) {
            c.downUntil = Clock::now() + std::chrono::milliseconds(range(plan, 1000, 4000));
        }
    }

    // A new name, in the folder users drop into (place 0: In, 1: Share).
    void dropNew(int place, bool lookalike) {
        const fs::path folder = place == 0 ? in : share;
        // The copy that compresses that folder (on the same folders: either).
        const Copy& c = copies[twoMachines ? size_t(place) : range(files, 0, copies.size() - 1)];
        const int i = int(all.size());
        TestFile f = lookalike ? TestFile{} : ordinaryFile(files, i);
        for (int32_t last = lookalike ? c.lastNumber() : 0; lookalike; last += 3) {
            f = lookalikeFile(files, i, last);
            if (names.count(f.name) == 0) {
                break; // else a number another file of this run has: the next ones
            }
        }
        if (!names.insert(f.name).second) {
            die("the harness gave out a name twice: " + shown(f.name));
        }
        lookalikes += lookalike ? 1 : 0;
        writeWithAttributes(folder / f.name, f, files, i);
        all.push_back(f);
    }

    // A new version of a name of place, saved as most programs save: written
    // aside, then renamed over the last version, whether that one is still
    // there, on its way or arrived. Sometimes the program is given the time to
    // take this version before the next is saved.
    void saveAgain(int place) {
        const std::string name = kSavedAgain[place][range(files, 0, 2)];
        std::vector<TestFile>& saved = versions[name];
        TestFile f{name, 0, files(), int(saved.size()) + 1, {}};
        f.size = headOf(f).size() + range(files, 0, 64 * 1024);
        const fs::path aside = work / "Aside" / "next";
        writeWithAttributes(aside, f, files, f.version);
        std::error_code ec;
        fs::rename(aside, (place == 0 ? in : share) / name, ec);
        if (ec) {
            die("cannot save " + name + " again: " + ec.message());
        }
        saved.push_back(f);
        if (f.version == 1) {
            names.insert(name);
            all.push_back(f);
        } else {
            *std::find_if(all.begin(), all.end(),
                          [&](const TestFile& a) { return a.name == name; }) = f;
        }
        if (range(plan, 0, 1) == 0) {
            waitFor([] { return false; }, range(plan, 300, 1500));
        }
    }

    // Ten files: new names, some named like the program's own, and new versions
    // of the names saved again. Copies on the same folders have numbers of
    // their own each, so the order of two versions on their way is not theirs
    // to keep: there a name is saved again only once everything has arrived.
    void dropBatch(bool everythingArrived) {
        bool savedAgain = false;
        for (int k = 0; k < 10; ++k) {
            const int kind = int(range(files, 0, 99));
            const int place = twoMachines ? int(range(files, 0, 1)) : 0;
            if (kind < 20 &&
                (twoMachines || copies.size() == 1 || (everythingArrived && !savedAgain))) {
                saveAgain(place);
                savedAgain = true;
            } else {
                dropNew(place, kind < 40);
            }
        }
    }

    // Batches of 10 files for three quarters of the time (and until 100 kills per
    // three minutes), at least four per 30 seconds: the next comes when the last
    // has arrived or when its time has come, so that files are always in flight.
    void dropAndKill() {
        const int minBatches = std::max(2, seconds * 4 / 30), minKills = seconds * 100 / 180;
        const auto begin = Clock::now(), hardEnd = begin + std::chrono::seconds(seconds);
        const auto killEnd = begin + (hardEnd - begin) * 3 / 4;
        int batches = 0;
        for (dropBatch(true), ++batches;
             Clock::now() < killEnd || (kills < minKills && Clock::now() < hardEnd); killOnce()) {
            const bool done = arrived();
            if (done && batches >= 2 * minBatches) {
                break;
            }
            if (done || (batches < minBatches &&
                         Clock::now() > begin + (killEnd - begin) * batches / minBatches)) {
                dropBatch(done);
                ++batches;
            }
        }
        for (; batches < minBatches; ++batches) {
            dropBatch(false);
        }
    }

    // Until everything has arrived, 300 s at most, or until nothing is left on
    // the way (In, Share and Arch empty a while) and yet files are not in Out:
    // nothing can bring them any more.
    void waitForArrival() {
        const auto limit = Clock::now() + std::chrono::seconds(300);
        for (int empty = 0; !arrived() && empty < 40; ::usleep(50000)) {
            reap();
            empty = leftInSources().empty() ? empty + 1 : 0;
            if (Clock::now() > limit) {
                problems.push_back("not arrived in 300 s after the kills:" + missing() +
                                   "\n    left on the way:" + leftInSources());
                return;
            }
        }
    }

    // An older version of a name saved again that the program kept under the
    // neutral name of its data file (its own name was taken by the next
    // version when it was given back): the user's data, whole, under a name
    // of the program's. Which version, or 0.
    int olderVersionUnderNeutralName(const std::string& entry, std::string* of) {
        if (entry.size() != 11 || entry.compare(0, 2, "RA") != 0 ||
            entry.find_first_not_of("0123456789", 2) != 8 || entry.compare(8, 3, ".rr") != 0) {
            return 0;
        }
        const std::string content = readText(out / entry);
        for (const auto& [name, saved] : versions) {
            for (size_t v = 0; v + 1 < saved.size(); ++v) {
                if (content == contentOf(saved[v]) &&
                    filekit::userXattrs(q(out / entry)) == saved[v].xattrs) {
                    *of = name;
                    return saved[v].version;
                }
            }
        }
        return 0;
    }

    // Every problem found, one a line.
    void check() {
        if (!leftInSources().empty()) {
            problems.push_back("left on the way after the last pass:" + leftInSources());
        }
        if (!missing().empty()) {
            problems.push_back("lost:" + missing());
        }
        for (const TestFile& f : all) {
            const fs::path p = out / f.name;
            if (!fs::is_regular_file(fs::symlink_status(p))) {
                continue; // lost, or no file: said above, or below
            }
            if (const std::string content = readText(p); content != contentOf(f)) {
                const std::vector<TestFile>& saved =
                    f.version > 0 ? versions.at(f.name) : std::vector<TestFile>{};
                const auto older = std::find_if(saved.begin(), saved.end(), [&](const TestFile& v) {
                    return content == contentOf(v);
                });
                problems.push_back(older != saved.end()
                                       ? "an older version arrived last: " + shown(f.name) +
                                             " is v" + std::to_string(older->version) + ", v" +
                                             std::to_string(f.version) + " was saved last"
                                       : "damaged: " + shown(f.name));
            } else if (filekit::userXattrs(q(p)) != f.xattrs) {
                problems.push_back("without its attributes: " + shown(f.name));
            }
        }
        // Every file there once (the names are unique): anything more is no user
        // file, but for an older version under its neutral name.
        std::string more;
        for (const QString& e : filekit::entries(q(out))) {
            const std::string entry = QFile::encodeName(e).toStdString();
            std::string of;
            if (names.count(entry) != 0 && fs::is_regular_file(fs::symlink_status(out / entry))) {
                continue;
            }
            if (const int v = olderVersionUnderNeutralName(entry, &of)) {
                std::printf("crash harness: v%d of %s kept under the neutral name %s\n", v,
                            shown(of).c_str(), entry.c_str());
                continue;
            }
            more += " " + shown(entry);
        }
        if (!more.empty()) {
            problems.push_back("Out holds more than the user files:" + more);
        }
        if (!problems.empty()) {
            std::string said = "\n";
            for (const std::string& p : problems) {
                said += "  " + p + "\n";
            }
            die(said);
        }
    }

    void run() {
        sources = twoMachines ? std::vector<fs::path>{in, share, arch} : std::vector{in, arch};
        for (size_t i = 0; i < copies.size(); ++i) {
            Copy& c = copies[i];
            c.folder = work / ("program" + std::to_string(i + 1));
            if (twoMachines) {
                c.label = i == 0 ? "A: " : "B: ";
                c.pairs = i == 0 ? std::vector<Pair>{{in, share, true}}
                                 : std::vector<Pair>{{share, arch, true}, {arch, out, false}};
            } else {
                c.pairs = {{in, arch, true}, {arch, out, false}};
            }
            for (const auto& p : {out, work / "Aside", c.folder / "logs"}) {
                fs::create_directories(p);
            }
            for (const auto& p : sources) {
                fs::create_directories(p);
            }
            for (const char* exe : {"velmorado", "rar"}) { // copies: the program finds its folder
                fs::copy_file(bin / exe, c.folder / exe, fs::copy_options::overwrite_existing);
            }
            QByteArray list;
            for (const Pair& p : c.pairs) {
                list += programkit::listLine(q(p.source), q(p.target));
            }
            writeText(c.folder / "Velmorado.w", list.toStdString());
        }
        dropAndKill();
        for (Copy& c : copies) {
            c.downUntil = {};
        }
        startStopped();
        waitForArrival();
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
        check();
        int saved = 0;
        for (const auto& [name, v] : versions) {
            saved += int(v.size());
        }
        std::printf("crash harness: %zu files in Out exactly once, whole, with their attributes "
                    "(%d named like the program's own; %zu names saved %d times, the last "
                    "version arrived); %s empty\ncrash harness: %d kills survived; %d of "
                    "%d starts made RAR 5 archives\n",
                    all.size(), lookalikes, versions.size(), saved,
                    twoMachines ? "In, Share and Arch" : "In and Arch", kills, rar5Starts, starts);
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
    std::map<std::string, std::string> o = {{"--seconds", ""},
                                            {"--copies", ""},
                                            {"--topology", "chain"},
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
    if (o["--topology"] != "chain" && o["--topology"] != "share") {
        die("--topology must be chain or share, not \"" + o["--topology"] + "\"");
    }
    h.twoMachines = o["--topology"] == "share";
    if (h.twoMachines && !o["--copies"].empty()) {
        die("--copies is for the chain: the share has its two machines");
    }
    const std::string length = !o["--seconds"].empty() ? o["--seconds"]
                               : seconds != nullptr    ? seconds
                               : h.twoMachines         ? "100"
                                                       : "180";
    h.seconds = int(number(length, 10, 86400, "--seconds"));
    h.copies.resize(h.twoMachines           ? 2
                    : o["--copies"].empty() ? 1
                                            : number(o["--copies"], 1, 2, "--copies"));
    const bool keep = !o["--work"].empty();
    std::string work =
        keep ? o["--work"] : fs::temp_directory_path().string() + "/velmorado-crash.XXXXXX";
    if (keep ? !fs::create_directories(work) && !fs::is_directory(work) : !::mkdtemp(work.data())) {
        die("cannot make the work folder " + work);
    }
    g_work = (h.work = fs::canonical(work)).string();
    h.in = h.work / "In", h.arch = h.work / "Arch", h.out = h.work / "Out";
    h.share = h.work / "Share";
    std::fprintf(stderr, "crash harness: VELMORADO_CRASH_SEED=%llu, %d s, %s\n",
                 (unsigned long long)seed, h.seconds,
                 h.twoMachines          ? "two machines through a share"
                 : h.copies.size() == 1 ? "one copy"
                                        : "two copies on the same folders");
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
