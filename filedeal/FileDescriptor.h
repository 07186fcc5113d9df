#pragma once
// An open file descriptor owned by one object: closed when the owner goes, so no early return or
// exception can leak it, and errno survives that close for the caller's message.
#include <cerrno>
#include <unistd.h>
#include <utility>

namespace norvik::filedeal {

class FileDescriptor {
public:
    FileDescriptor() noexcept = default;
    /// Takes `fd`, which may be negative (a failed open): the object is then empty.
    explicit FileDescriptor(int fd) noexcept : m_fd(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            static_cast<void>(close());
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    /// Closes silently, keeping errno as it was: the error being reported is the one that made the
    /// caller give up, not the close on the way out.
    ~FileDescriptor() {
        if (m_fd >= 0) {
            const int saved = errno;
            ::close(m_fd);
            errno = saved;
        }
    }

    [[nodiscard]] int get() const noexcept { return m_fd; }
    /// Gives the descriptor up to the caller, who closes it.
    [[nodiscard]] int release() noexcept { return std::exchange(m_fd, -1); }
    [[nodiscard]] bool valid() const noexcept { return m_fd >= 0; }

    /// Closes now, for a writer that must see the close's error (the last buffered data may fail
    /// there). True when the close succeeded or nothing was open; empty afterwards either way.
    [[nodiscard]] bool close() noexcept { return m_fd < 0 || ::close(std::exchange(m_fd, -1)) == 0; }

private:
    int m_fd = -1;
};

} // namespace norvik::filedeal
