// The owner of one file descriptor: closed when the owner goes, unless it
// was released to a new owner first.
#pragma once

#include <unistd.h>

#include <utility>

namespace kv {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    // Hands the descriptor on; this owner holds none after it.
    int Release() { return std::exchange(m_fd, -1); }
    // Closes the descriptor held (if any) and holds fd instead.
    void Reset(int fd = -1)
    {
        const int old = std::exchange(m_fd, fd);
        if (old >= 0)
            ::close(old);
    }

private:
    int m_fd = -1;
};

} // namespace kv
