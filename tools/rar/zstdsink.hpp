#pragma once

#include "fsutil.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct ZSTD_CCtx_s;
struct ZSTD_inBuffer_s;

namespace rar {

// Compresses a byte stream into zstd frames written to a file descriptor.
//
// Every frame carries a content checksum, and the caller ends a frame after
// each archive member, so a reader verifies a member's data as soon as it
// starts reading the next member and can refuse to keep a damaged file.
//
// A frame's bytes are held back until it ends or they pass kWholeFrameUpTo.
// A frame handed to zstd whole is compressed knowing its exact size: zstd
// sizes its window and match tables to it (a few KiB for a small file
// instead of the 3.5 MiB that level 3 takes for a stream of unknown size,
// all of it touched memory) and writes the size in the frame's header. A
// longer frame is streamed as it comes, its size unknown.
class ZstdSink {
public:
    explicit ZstdSink(int fd);
    ~ZstdSink();
    ZstdSink(const ZstdSink&) = delete;
    ZstdSink& operator=(const ZstdSink&) = delete;

    // Level and worker threads; threads fall back to one when unavailable.
    // `expected` is about how many bytes will be written: it only sizes the
    // output buffer (a small archive needs no 128 KiB one), any value works.
    bool init(int level, int workers, uint64_t expected);
    bool write(const void* data, size_t size);
    // Closes the current frame, if anything was written since the last one.
    bool endFrame();

    // errno of the failed write, or 0 for a compressor error.
    int errorNumber() const { return errno_; }
    const std::string& error() const { return error_; }

    static constexpr size_t kWholeFrameUpTo = 256 * 1024;

private:
    bool compress(const void* data, size_t size);
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
    bool streaming_ = false; // the open frame's start is already in zstd
    std::vector<char> held_; // the open frame's bytes, while not streaming
    int errno_ = 0;
    std::string error_;
};

} // namespace rar
