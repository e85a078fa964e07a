// The archiver's extraction (rar e) of any bytes, into a folder three levels
// below the fuzzer's own: whatever the archive holds (absolute names, "..",
// links, devices, folders, damaged data, more than the disk takes), nothing
// is written outside the extraction folder, only regular files are written
// in it, and no temporary file is left behind.

#include "../tools/rar/cmdline.hpp"
#include "../tools/rar/commands.hpp"

#include <algorithm>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__);    \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

std::vector<std::string> entries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string n = e->d_name;
            if (n != "." && n != "..") {
                names.push_back(n);
            }
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct Place {
    std::string base, archive, out;
};

const Place& place() {
    static const Place p = [] {
        // As scratchFolder() in FuzzSupport.h: VELMORADO_FUZZ_SCRATCH, /dev/shm or /tmp.
        const char* shm = "/dev/shm";
        const char* given = std::getenv("VELMORADO_FUZZ_SCRATCH");
        struct stat st {};
        const std::string folder = given != nullptr && *given != '\0' ? given
                                   : ::stat(shm, &st) == 0            ? shm
                                                                      : "/tmp";
        std::string templ = folder + "/velmorado-fuzz-rar.XXXXXX";
        if (::mkdtemp(templ.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        Place made{templ, templ + "/archive.rar", templ + "/a/b/out"};
        ::mkdir((templ + "/a").c_str(), 0755);
        ::mkdir((templ + "/a/b").c_str(), 0755);
        ::mkdir(made.out.c_str(), 0755);
        // A small disk: what does not fit fails with EFBIG instead of a signal.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{8 << 20, 8 << 20};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        return made;
    }();
    return p;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Place& p = place();
    if (FILE* f = std::fopen(p.archive.c_str(), "wb")) {
        FUZZ_CHECK(std::fwrite(data, 1, size, f) == size);
        FUZZ_CHECK(std::fclose(f) == 0);
    } else {
        std::abort();
    }
    for (const std::string& n : entries(p.out)) {
        ::unlink((p.out + "/" + n).c_str());
    }

    rar::CommandLine line;
    line.command = rar::Command::Extract;
    line.archive = p.archive;
    FUZZ_CHECK(::chdir(p.out.c_str()) == 0);
    const int code = rar::runExtract(line);
    FUZZ_CHECK(::chdir(p.base.c_str()) == 0);
    FUZZ_CHECK(code == 0 || code == 1 || code == 2 || code == 3);

    // Nothing beside or above the extraction folder.
    FUZZ_CHECK(entries(p.base) == (std::vector<std::string>{"a", "archive.rar"}));
    FUZZ_CHECK(entries(p.base + "/a") == std::vector<std::string>{"b"});
    FUZZ_CHECK(entries(p.base + "/a/b") == std::vector<std::string>{"out"});
    struct stat st {};
    FUZZ_CHECK(::lstat(p.archive.c_str(), &st) == 0 && size_t(st.st_size) == size);
    // In it, regular files only, and no temporary left.
    for (const std::string& n : entries(p.out)) {
        FUZZ_CHECK(::lstat((p.out + "/" + n).c_str(), &st) == 0 && S_ISREG(st.st_mode));
        FUZZ_CHECK(!(n.rfind(".rar-", 0) == 0 && n.size() == 21 && n.substr(17) == ".tmp"));
        FUZZ_CHECK((st.st_mode & 07000) == 0);
    }
    return 0;
}
