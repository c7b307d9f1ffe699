// Owner of one open file descriptor (a directory of the output tree or a file
// being written): closed exactly once, when the owner goes away or is reset.
#pragma once

#include <unistd.h>

#include <utility>

namespace tolvane {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.fd_, -1));
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    [[nodiscard]] int get() const { return fd_; }
    [[nodiscard]] bool isValid() const { return fd_ >= 0; }
    explicit operator bool() const { return isValid(); }

    void reset(int fd = -1)
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }
    // Closes now and returns close()'s result, so a writer can see a failed
    // flush (0 when there was nothing to close).
    [[nodiscard]] int close()
    {
        const int fd = std::exchange(fd_, -1);
        return fd >= 0 ? ::close(fd) : 0;
    }

private:
    int fd_ = -1;
};

}  // namespace tolvane
