// A preloaded library that makes local folders answer like a share: every
// create, rename and unlink waits a few milliseconds before it happens (the
// round trip to a file server), so that two copies of the program working on
// the same folders see each other's steps in flight.
//
//   LD_PRELOAD=libvelmorado_slowfs.so VELMORADO_SLOWFS_US=4000 velmorado
//
// VELMORADO_SLOWFS_US is the delay in microseconds (default 3000). Only calls
// made through the C library's symbols are delayed, which is every call the
// program, Qt and the archiver make.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {

static long delay_us(void) {
    static long us = -1;
    if (us < 0) {
        const char* text = getenv("VELMORADO_SLOWFS_US");
        us = text != nullptr ? std::atol(text) : 3000;
    }
    return us;
}

static void latency(void) {
    const long us = delay_us();
    if (us > 0) {
        timespec t = {us / 1000000, (us % 1000000) * 1000};
        while (nanosleep(&t, &t) != 0) {
        }
    }
}

#define NEXT(name) (reinterpret_cast<decltype(&name)>(dlsym(RTLD_NEXT, #name)))

static mode_t mode_arg(int flags, va_list ap) {
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? mode_t(va_arg(ap, int)) : 0;
}

int open(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = mode_arg(flags, ap);
    va_end(ap);
    if (flags & O_CREAT) {
        latency();
    }
    return NEXT(open)(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = mode_arg(flags, ap);
    va_end(ap);
    if (flags & O_CREAT) {
        latency();
    }
    return NEXT(open64)(path, flags, mode);
}

int openat(int dirfd, const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = mode_arg(flags, ap);
    va_end(ap);
    if (flags & O_CREAT) {
        latency();
    }
    return NEXT(openat)(dirfd, path, flags, mode);
}

int openat64(int dirfd, const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = mode_arg(flags, ap);
    va_end(ap);
    if (flags & O_CREAT) {
        latency();
    }
    return NEXT(openat64)(dirfd, path, flags, mode);
}

int creat(const char* path, mode_t mode) {
    latency();
    return NEXT(creat)(path, mode);
}

int mkstemp(char* templ) {
    latency();
    return NEXT(mkstemp)(templ);
}

int mkostemp(char* templ, int flags) {
    latency();
    return NEXT(mkostemp)(templ, flags);
}

int link(const char* from, const char* to) {
    latency();
    return NEXT(link)(from, to);
}

int linkat(int fromfd, const char* from, int tofd, const char* to, int flags) {
    latency();
    return NEXT(linkat)(fromfd, from, tofd, to, flags);
}

int rename(const char* from, const char* to) {
    latency();
    return NEXT(rename)(from, to);
}

int renameat(int fromfd, const char* from, int tofd, const char* to) {
    latency();
    return NEXT(renameat)(fromfd, from, tofd, to);
}

int renameat2(int fromfd, const char* from, int tofd, const char* to, unsigned int flags) {
    latency();
    return NEXT(renameat2)(fromfd, from, tofd, to, flags);
}

int unlink(const char* path) {
    latency();
    return NEXT(unlink)(path);
}

int unlinkat(int dirfd, const char* path, int flags) {
    latency();
    return NEXT(unlinkat)(dirfd, path, flags);
}

int remove(const char* path) {
    latency();
    return NEXT(remove)(path);
}

} // extern "C"
