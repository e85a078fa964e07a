// The archiver's extraction (rar e) of any bytes, into a folder three levels
// below the fuzzer's own: whatever the archive holds (absolute names, "..",
// links, devices, folders, damaged data, more than the disk takes), nothing
// is written outside the extraction folder, only regular files are written
// in it, and no temporary file is left behind.

#define FUZZ_WITHOUT_QT
#include "FuzzSupport.h"

#include "../tools/rar/cmdline.hpp"
#include "../tools/rar/commands.hpp"

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <set>
#include <sys/resource.h>

namespace {

namespace fs = std::filesystem;
using Names = std::set<std::string>;

Names names(const fs::path& folder) {
    Names found;
    for (const auto& e : fs::directory_iterator(folder)) {
        found.insert(e.path().filename());
    }
    return found;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fs::path base = [] {
        const fs::path made = fuzz::scratchFolder("rar");
        fs::create_directories(made / "a/b/out");
        // A small disk: what does not fit fails with EFBIG instead of a signal.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{8 << 20, 8 << 20};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        return made;
    }();
    const fs::path archive = base / "archive.rar", out = base / "a/b/out";
    FILE* f = std::fopen(archive.c_str(), "wb");
    FUZZ_CHECK(f != nullptr && std::fwrite(data, 1, size, f) == size && std::fclose(f) == 0);
    for (const std::string& n : names(out)) {
        fs::remove(out / n);
    }

    rar::CommandLine line;
    line.command = rar::Command::Extract;
    line.archive = archive.string();
    FUZZ_CHECK(::chdir(out.c_str()) == 0);
    const int code = rar::runExtract(line);
    FUZZ_CHECK(::chdir(base.c_str()) == 0);
    FUZZ_CHECK(code == 0 || code == 1 || code == 2 || code == 3);

    // Nothing beside or above the extraction folder.
    FUZZ_CHECK(names(base) == (Names{"a", "archive.rar"}) && names(base / "a") == Names{"b"} &&
               names(base / "a/b") == Names{"out"});
    struct stat st {};
    FUZZ_CHECK(::lstat(archive.c_str(), &st) == 0 && size_t(st.st_size) == size);
    // In it, regular files only, no set-user-ID bits, and no temporary left.
    for (const std::string& n : names(out)) {
        FUZZ_CHECK(::lstat((out / n).c_str(), &st) == 0 && S_ISREG(st.st_mode));
        FUZZ_CHECK((st.st_mode & 07000) == 0);
        FUZZ_CHECK(!(n.rfind(".rar-", 0) == 0 && n.size() == 21 && n.substr(17) == ".tmp"));
    }
    return 0;
}
