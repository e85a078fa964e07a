#include "zstdsink.hpp"

#include "fsutil.hpp"

#include <cerrno>
#include <zstd.h>

namespace rar {

ZstdSink::ZstdSink(int fd) : fd_(fd), writeback_(fd) {}

ZstdSink::~ZstdSink() {
    ZSTD_freeCCtx(cctx_);
}

bool ZstdSink::init(int level, int workers) {
    cctx_ = ZSTD_createCCtx();
    if (cctx_ == nullptr) {
        return fail("cannot create the zstd compressor", ENOMEM);
    }
    if (ZSTD_isError(ZSTD_CCtx_setParameter(cctx_, ZSTD_c_compressionLevel, level)) ||
        ZSTD_isError(ZSTD_CCtx_setParameter(cctx_, ZSTD_c_checksumFlag, 1))) {
        return fail("cannot configure the zstd compressor", 0);
    }
    // A libzstd built without threads refuses this; one thread then does the work.
    ZSTD_CCtx_setParameter(cctx_, ZSTD_c_nbWorkers, workers);
    outSize_ = ZSTD_CStreamOutSize();
    out_ = std::make_unique_for_overwrite<char[]>(outSize_);
    return true;
}

bool ZstdSink::write(const void* data, size_t size) {
    if (size == 0) {
        return true;
    }
    frameOpen_ = true;
    ZSTD_inBuffer in{data, size, 0};
    bool done = false;
    while (!done) {
        if (!pump(in, ZSTD_e_continue, done)) {
            return false;
        }
    }
    return true;
}

bool ZstdSink::endFrame() {
    if (!frameOpen_) {
        return true;
    }
    ZSTD_inBuffer in{nullptr, 0, 0};
    bool done = false;
    while (!done) {
        if (!pump(in, ZSTD_e_end, done)) {
            return false;
        }
    }
    frameOpen_ = false;
    return true;
}

bool ZstdSink::pump(ZSTD_inBuffer& in, int directive, bool& done) {
    ZSTD_outBuffer out{out_.get(), outSize_, 0};
    const size_t remaining =
        ZSTD_compressStream2(cctx_, &out, &in, static_cast<ZSTD_EndDirective>(directive));
    if (ZSTD_isError(remaining)) {
        return fail(std::string("zstd compression failed: ") + ZSTD_getErrorName(remaining), 0);
    }
    if (!flushOutput(out.pos)) {
        return false;
    }
    done = directive == ZSTD_e_end ? remaining == 0 : in.pos == in.size;
    return true;
}

bool ZstdSink::flushOutput(size_t size) {
    if (size > 0 && !writeAll(fd_, out_.get(), size)) {
        return fail("cannot write the archive: " + errorText(errno), errno);
    }
    written_ += static_cast<off_t>(size);
    writeback_.wroteUpTo(written_);
    return true;
}

bool ZstdSink::fail(const std::string& message, int err) {
    if (error_.empty()) {
        error_ = message;
        errno_ = err;
    }
    return false;
}

} // namespace rar
