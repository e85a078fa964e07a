// rar_bench_data FILE MEGABYTES
// Writes MEGABYTES MiB that alternate, one MiB at a time, between text-like
// lines (compressible) and random bytes (incompressible). The output is the
// same for the same size, so runs compare like with like.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct XorShift {
    uint64_t state = 0x9E3779B97F4A7C15ull;
    uint64_t next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
};

constexpr size_t kChunk = 1 << 20;

void textChunk(XorShift& rng, std::vector<char>& out) {
    static const char* const words[] = {
        "folder", "file",    "stream", "archive", "sync",  "name",   "share",   "report",
        "backup", "invoice", "photo",  "draft",   "final", "budget", "meeting", "notes",
        "the",    "of",      "and",    "to",      "in",    "for",    "with",    "from",
    };
    constexpr size_t wordCount = sizeof(words) / sizeof(words[0]);
    out.clear();
    std::string line;
    while (out.size() < kChunk) {
        line = std::to_string(rng.next() % 100000) + ":";
        const int n = 4 + static_cast<int>(rng.next() % 9);
        for (int i = 0; i < n; ++i) {
            line += ' ';
            line += words[rng.next() % wordCount];
        }
        line += '\n';
        out.insert(out.end(), line.begin(), line.end());
    }
    out.resize(kChunk);
}

void randomChunk(XorShift& rng, std::vector<char>& out) {
    out.resize(kChunk);
    for (size_t i = 0; i < kChunk; i += 8) {
        const uint64_t v = rng.next();
        for (size_t b = 0; b < 8; ++b) {
            out[i + b] = static_cast<char>(v >> (8 * b));
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: rar_bench_data FILE MEGABYTES\n");
        return 2;
    }
    const long megabytes = std::strtol(argv[2], nullptr, 10);
    FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr || megabytes <= 0) {
        std::perror(argv[1]);
        return 1;
    }
    XorShift rng;
    std::vector<char> chunk;
    for (long i = 0; i < megabytes; ++i) {
        if (i % 2 == 0) {
            textChunk(rng, chunk);
        } else {
            randomChunk(rng, chunk);
        }
        if (std::fwrite(chunk.data(), 1, chunk.size(), out) != chunk.size()) {
            std::perror(argv[1]);
            return 1;
        }
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
