#include "fsutil.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <clocale>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <langinfo.h>
#include <sys/random.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace rar {

std::string errorText(int err) {
    return std::strerror(err);
}

void useUtf8Names() {
    static bool done = false;
    if (done) {
        return;
    }
    done = true;
    // Only this one part of the locale: loading the others would read the
    // files of eleven more.
    std::setlocale(LC_CTYPE, "");
    if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0) {
        std::setlocale(LC_CTYPE, "C.UTF-8");
    }
}

bool isAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

PathParts splitPath(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {".", path};
    }
    // Drop the separators that end the folder part, but keep the root itself.
    const size_t folderEnd = path.find_last_not_of('/', slash);
    std::string folder =
        folderEnd == std::string::npos ? std::string(1, '/') : path.substr(0, folderEnd + 1);
    return {folder, path.substr(slash + 1)};
}

std::string lastComponent(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

UniqueFd openFolder(const std::string& path) {
    return UniqueFd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

bool writeAll(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void EarlyWriteback::wroteUpTo(off_t end) {
    constexpr off_t kStep = off_t(8) << 20;
    if (fd_ < 0 || end - started_ < kStep) {
        return;
    }
    // A file system that cannot do this just leaves it all to the flush.
    ::sync_file_range(fd_, started_, end - started_, SYNC_FILE_RANGE_WRITE);
    started_ = end;
}

std::string temporaryName() {
    static constexpr char alphabet[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    constexpr size_t kLetters = sizeof(alphabet) - 1;
    constexpr int kLength = 12;
    // Straight from the kernel: std::random_device probes the processor
    // first, which costs more than the rest of the name (a virtual machine
    // traps every probe). A name that collides is only retried by the
    // caller, so the slight bias of `% kLetters` does not matter; should
    // getrandom fail, the clock and the process id still differ per run.
    static uint64_t fallback = 0;
    unsigned char bytes[kLength];
    if (::getrandom(bytes, sizeof(bytes), GRND_NONBLOCK) != ssize_t(sizeof(bytes))) {
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        uint64_t state = (uint64_t(::getpid()) << 32) ^ uint64_t(now.tv_nsec) ^
                         (uint64_t(now.tv_sec) << 20) ^ ++fallback * 0x9E3779B97F4A7C15ULL;
        for (unsigned char& byte : bytes) {
            state ^= state >> 33;
            state *= 0xFF51AFD7ED558CCDULL;
            byte = static_cast<unsigned char>(state >> 56);
        }
    }
    std::string name = ".rar-";
    for (const unsigned char byte : bytes) {
        name += alphabet[byte % kLetters];
    }
    return name + ".tmp";
}

namespace {

// Fixed storage, so the signal handler touches nothing but these arrays.
constexpr int kSlots = 4;
struct Slot {
    std::atomic<int> inUse{0};
    int folderFd = -1;
    char name[NAME_MAX + 1] = {};
};
std::array<Slot, kSlots> g_slots;

extern "C" void removeTemporariesAndDie(int sig) {
    for (Slot& slot : g_slots) {
        if (slot.inUse.load() != 0) {
            ::unlinkat(slot.folderFd, slot.name, 0);
        }
    }
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

} // namespace

void TemporaryFiles::installSignalHandlers() {
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        struct sigaction action {};
        action.sa_handler = removeTemporariesAndDie;
        sigemptyset(&action.sa_mask);
        ::sigaction(sig, &action, nullptr);
    }
    // A file size limit must end in a write error we can clean up after,
    // not in a silent kill that leaves a partial temporary file behind.
    ::signal(SIGXFSZ, SIG_IGN);
}

int TemporaryFiles::track(int folderFd, const std::string& name) {
    if (name.size() > NAME_MAX) {
        return -1;
    }
    for (int i = 0; i < kSlots; ++i) {
        Slot& slot = g_slots[static_cast<size_t>(i)];
        if (slot.inUse.load() == 0) {
            slot.folderFd = folderFd;
            std::memcpy(slot.name, name.c_str(), name.size() + 1);
            slot.inUse.store(1);
            return i;
        }
    }
    return -1;
}

void TemporaryFiles::untrack(int slot) {
    if (slot >= 0 && slot < kSlots) {
        g_slots[static_cast<size_t>(slot)].inUse.store(0);
    }
}

TemporaryFile::TemporaryFile(int folderFd, std::string name)
    : folderFd_(folderFd), name_(std::move(name)) {
    slot_ = TemporaryFiles::track(folderFd_, name_);
}

TemporaryFile::TemporaryFile(TemporaryFile&& other) noexcept
    : folderFd_(other.folderFd_), name_(std::move(other.name_)), slot_(other.slot_) {
    other.name_.clear();
    other.slot_ = -1;
}

TemporaryFile& TemporaryFile::operator=(TemporaryFile&& other) noexcept {
    if (this != &other) {
        remove();
        folderFd_ = other.folderFd_;
        name_ = std::move(other.name_);
        slot_ = other.slot_;
        other.name_.clear();
        other.slot_ = -1;
    }
    return *this;
}

TemporaryFile::~TemporaryFile() {
    remove();
}

bool TemporaryFile::commitAs(const std::string& finalName) {
    if (::renameat(folderFd_, name_.c_str(), folderFd_, finalName.c_str()) != 0) {
        return false;
    }
    forget();
    return true;
}

bool TemporaryFile::commitNoReplace(const std::string& finalName) {
    if (::renameat2(folderFd_, name_.c_str(), folderFd_, finalName.c_str(), RENAME_NOREPLACE) ==
        0) {
        forget();
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        return false;
    }
    if (::linkat(folderFd_, name_.c_str(), folderFd_, finalName.c_str(), 0) == 0) {
        remove();
        return true;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != ENOSYS) {
        return false;
    }
    const int claimed = ::openat(folderFd_, finalName.c_str(),
                                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (claimed < 0) {
        return false;
    }
    ::close(claimed);
    TemporaryFile claim(folderFd_, finalName); // removed if anything below fails
    if (!commitAs(finalName)) {
        return false;
    }
    claim.forget(); // the archive stands under the name now
    return true;
}

void TemporaryFile::remove() {
    if (active()) {
        ::unlinkat(folderFd_, name_.c_str(), 0);
        forget();
    }
}

void TemporaryFile::forget() {
    TemporaryFiles::untrack(slot_);
    slot_ = -1;
    name_.clear();
}

bool readUserAttributes(int fd, Attributes& out) {
    std::vector<char> list;
    for (;;) {
        const ssize_t needed = ::flistxattr(fd, nullptr, 0);
        if (needed < 0) {
            return errno == ENOTSUP;
        }
        list.resize(static_cast<size_t>(needed));
        const ssize_t got = ::flistxattr(fd, list.data(), list.size());
        if (got >= 0) {
            list.resize(static_cast<size_t>(got));
            break;
        }
        if (errno != ERANGE) {
            return false;
        }
    }
    std::vector<char> value;
    for (size_t pos = 0; pos < list.size();) {
        const std::string name(&list[pos]);
        pos += name.size() + 1;
        if (name.rfind("user.", 0) != 0) {
            continue;
        }
        ssize_t got = -1;
        do {
            const ssize_t needed = ::fgetxattr(fd, name.c_str(), nullptr, 0);
            if (needed < 0) {
                break;
            }
            value.resize(static_cast<size_t>(needed));
            got = ::fgetxattr(fd, name.c_str(), value.data(), value.size());
        } while (got < 0 && errno == ERANGE);
        if (got < 0) {
            if (errno == ENODATA) {
                continue; // removed since it was listed
            }
            return false;
        }
        out.emplace_back(name, std::string(value.data(), static_cast<size_t>(got)));
    }
    std::sort(out.begin(), out.end());
    return true;
}

} // namespace rar
