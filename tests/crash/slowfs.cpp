// Preloaded: every create, rename and unlink through the C library waits
// VELMORADO_SLOWFS_US microseconds (default 3000), as on a share, so that two
// copies of the program on the same folders see each other's steps in flight.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

static void latency() { // a signal may cut it short
    static const char* const us = getenv("VELMORADO_SLOWFS_US");
    usleep(useconds_t(us != nullptr ? atol(us) : 3000));
}

#define NEXT(name) (reinterpret_cast<decltype(&name)>(dlsym(RTLD_NEXT, #name)))
#define UNPAREN(...) __VA_ARGS__
// The opens wait only when they may create; the mode is there only then.
#define SLOW_OPEN(name, params, args)                                                              \
    extern "C" int name(UNPAREN params, int flags, ...) {                                          \
        va_list ap;                                                                                \
        va_start(ap, flags);                                                                       \
        const bool creates = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;                \
        const mode_t mode = creates ? mode_t(va_arg(ap, int)) : 0;                                 \
        va_end(ap);                                                                                \
        (flags & O_CREAT) ? latency() : void();                                                    \
        return NEXT(name)(UNPAREN args, flags, mode);                                              \
    }
#define SLOW(name, params, args)                                                                   \
    extern "C" int name params {                                                                   \
        latency();                                                                                 \
        return NEXT(name) args;                                                                    \
    }

SLOW_OPEN(open, (const char* path), (path))
SLOW_OPEN(open64, (const char* path), (path))
SLOW_OPEN(openat, (int dirfd, const char* path), (dirfd, path))
SLOW_OPEN(openat64, (int dirfd, const char* path), (dirfd, path))
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
