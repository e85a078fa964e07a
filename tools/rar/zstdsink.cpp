#include "zstdsink.hpp"

#include "fsutil.hpp"

#include <algorithm>
#include <cerrno>
#include <zstd.h>

namespace rar {

ZstdSink::ZstdSink(int fd) : fd_(fd), writeback_(fd) {}

ZstdSink::~ZstdSink() {
    ZSTD_freeCCtx(cctx_);
}

bool ZstdSink::init(int level, int workers, uint64_t expected) {
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
    // Headers and the end of the archive come on top of the files' bytes.
    constexpr uint64_t kSlack = 16 * 1024;
    outSize_ = ZSTD_CStreamOutSize();
    if (expected < outSize_) {
        outSize_ = std::min(outSize_, ZSTD_compressBound(size_t(expected)) + size_t(kSlack));
    }
    out_ = std::make_unique_for_overwrite<char[]>(outSize_);
    return true;
}

bool ZstdSink::write(const void* data, size_t size) {
    if (size == 0) {
        return true;
    }
    frameOpen_ = true;
    if (streaming_) {
        return compress(data, size);
    }
    const char* bytes = static_cast<const char*>(data);
    held_.insert(held_.end(), bytes, bytes + size);
    if (held_.size() <= kWholeFrameUpTo) {
        return true;
    }
    streaming_ = true;
    const bool ok = compress(held_.data(), held_.size());
    held_.clear();
    return ok;
}

bool ZstdSink::compress(const void* data, size_t size) {
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
    // Held bytes go in with the end directive in one call, which is how zstd
    // learns the frame's size before it starts.
    ZSTD_inBuffer in{held_.data(), held_.size(), 0};
    bool done = false;
    while (!done) {
        if (!pump(in, ZSTD_e_end, done)) {
            return false;
        }
    }
    held_.clear();
    frameOpen_ = false;
    streaming_ = false;
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
