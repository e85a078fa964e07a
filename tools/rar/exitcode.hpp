#pragma once

namespace rar {

// Exit codes, the same numbers the callers of a RAR-style archiver expect.
enum ExitCode : int {
    ExitSuccess = 0,
    ExitWarning = 1, // non fatal: entries skipped, nothing to add, ...
    ExitFatal = 2,   // cannot open, read or write
    ExitCrc = 3,     // damaged data in an archive
    ExitUsage = 7,   // bad command line
};

// Keeps the most serious exit code seen so far.
class Status {
public:
    void raise(int code) {
        if (code > code_) {
            code_ = code;
        }
    }
    int code() const { return code_; }

private:
    int code_ = ExitSuccess;
};

} // namespace rar
