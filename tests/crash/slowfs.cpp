// Preloaded, makes local folders answer like a share: every create, rename and
// unlink made through the C library waits VELMORADO_SLOWFS_US microseconds
// (default 3000), so that two copies of the program on the same folders see
// each other's steps in flight.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {

static void latency(void) {
    static const long us =
        getenv("VELMORADO_SLOWFS_US") ? atol(getenv("VELMORADO_SLOWFS_US")) : 3000;
    timespec t = {us / 1000000, (us % 1000000) * 1000};
    while (us > 0 && nanosleep(&t, &t) != 0) {
    }
}

#define NEXT(name) (reinterpret_cast<decltype(&name)>(dlsym(RTLD_NEXT, #name)))
#define UNPAREN(...) __VA_ARGS__

// The opens wait only when they may create; the mode is there only then.
#define SLOW_OPEN(name, params, args)                                                              \
    int name(UNPAREN params, int flags, ...) {                                                     \
        va_list ap;                                                                                \
        va_start(ap, flags);                                                                       \
        const bool creates = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;                \
        const mode_t mode = creates ? mode_t(va_arg(ap, int)) : 0;                                 \
        va_end(ap);                                                                                \
        if (flags & O_CREAT) {                                                                     \
            latency();                                                                             \
        }                                                                                          \
        return NEXT(name)(UNPAREN args, flags, mode);                                              \
    }
SLOW_OPEN(open, (const char* path), (path))
SLOW_OPEN(open64, (const char* path), (path))
SLOW_OPEN(openat, (int dirfd, const char* path), (dirfd, path))
SLOW_OPEN(openat64, (int dirfd, const char* path), (dirfd, path))

#define SLOW(name, params, args)                                                                   \
    int name params {                                                                              \
        latency();                                                                                 \
        return NEXT(name) args;                                                                    \
    }
SLOW(creat, (const char* path, mode_t mode), (path, mode))
SLOW(mkstemp, (char* templ), (templ))
SLOW(mkostemp, (char* templ, int flags), (templ, flags))
SLOW(link, (const char* from, const char* to), (from, to))
SLOW(linkat, (int fd, const char* from, int tofd, const char* to, int flags),
     (fd, from, tofd, to, flags))
SLOW(rename, (const char* from, const char* to), (from, to))
SLOW(renameat, (int fd, const char* from, int tofd, const char* to), (fd, from, tofd, to))
SLOW(renameat2, (int fd, const char* from, int tofd, const char* to, unsigned flags),
     (fd, from, tofd, to, flags))
SLOW(unlink, (const char* path), (path))
SLOW(unlinkat, (int fd, const char* path, int flags), (fd, path, flags))
SLOW(remove, (const char* path), (path))

} // extern "C"
