#include "job/ResultListFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace norvik::job {

ResultListFile::~ResultListFile() {
    static_cast<void>(close());
}

void ResultListFile::setFailed(int err) {
    if (!m_failed) {
        m_failed = true;
        m_error = std::strerror(err);
    }
}

bool ResultListFile::open(const std::string& path) {
    static_cast<void>(close());
    m_failed = false;
    m_error.clear();
    // Without O_NONBLOCK, opening a pipe that nobody reads would wait for ever.
    m_started = false;
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    if (m_fd < 0) {
        setFailed(errno);
        return false;
    }
    // Writes may wait from here on (a pipe with a reader that is slow), as any output does.
    const int flags = ::fcntl(m_fd, F_GETFL);
    if (flags < 0 || ::fcntl(m_fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        setFailed(errno);
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    return true;
}

bool ResultListFile::start() {
    if (m_fd < 0 || m_failed) {
        return false;
    }
    if (m_started) {
        return true;
    }
    m_started = true;
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) {
        setFailed(errno);
        return false;
    }
    if (S_ISREG(st.st_mode) && ::ftruncate(m_fd, 0) != 0) {
        setFailed(errno);
        return false;
    }
    return true;
}

bool ResultListFile::append(std::string_view path) {
    if (!start()) {
        return false;
    }
    m_line.assign(path);
    m_line += '\n';
    const char* p = m_line.data();
    std::size_t left = m_line.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, p, left);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            setFailed(errno);
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

bool ResultListFile::close() {
    if (m_fd >= 0) {
        if (::close(m_fd) != 0) {
            setFailed(errno);
        }
        m_fd = -1;
    }
    return !m_failed;
}

} // namespace norvik::job
