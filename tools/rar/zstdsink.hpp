#pragma once

#include "fsutil.hpp"

#include <cstddef>
#include <memory>
#include <string>

struct ZSTD_CCtx_s;
struct ZSTD_inBuffer_s;

namespace rar {

// Compresses a byte stream into zstd frames written to a file descriptor.
//
// Every frame carries a content checksum, and the caller ends a frame after
// each archive member, so a reader verifies a member's data as soon as it
// starts reading the next member and can refuse to keep a damaged file.
class ZstdSink {
public:
    explicit ZstdSink(int fd);
    ~ZstdSink();
    ZstdSink(const ZstdSink&) = delete;
    ZstdSink& operator=(const ZstdSink&) = delete;

    // Level and worker threads; threads fall back to one when unavailable.
    bool init(int level, int workers);
    bool write(const void* data, size_t size);
    // Closes the current frame, if anything was written since the last one.
    bool endFrame();

    // errno of the failed write, or 0 for a compressor error.
    int errorNumber() const { return errno_; }
    const std::string& error() const { return error_; }

private:
    bool pump(ZSTD_inBuffer_s& in, int directive, bool& done);
    bool flushOutput(size_t size);
    bool fail(const std::string& message, int err);

    int fd_;
    off_t written_ = 0;
    EarlyWriteback writeback_;
    ZSTD_CCtx_s* cctx_ = nullptr;
    // Left unset (not zeroed): a small archive touches only what it fills.
    std::unique_ptr<char[]> out_;
    size_t outSize_ = 0;
    bool frameOpen_ = false;
    int errno_ = 0;
    std::string error_;
};

} // namespace rar
