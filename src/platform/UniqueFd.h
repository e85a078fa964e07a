#pragma once

#include <cerrno>
#include <unistd.h>

namespace platform {

// Owns one file descriptor and closes it when it goes (also on the early
// returns of a failed step). A move hands the descriptor on. Plain C++, so
// that the bundled archiver uses it too.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closes the descriptor held, if any, and holds fd instead.
    void reset(int fd = -1) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = fd;
    }
    // Gives the descriptor up without closing it.
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // Closes now and says whether the close itself went well (on some file
    // systems a write's error only shows there). On Linux an interrupted
    // close has closed the descriptor all the same.
    bool close() {
        const int fd = release();
        return fd < 0 || ::close(fd) == 0 || errno == EINTR;
    }

private:
    int m_fd = -1;
};

} // namespace platform
