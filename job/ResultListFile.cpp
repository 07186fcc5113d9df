#include "job/ResultListFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "filedeal/FileOps.h"

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
    m_file = filedeal::FileDescriptor(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666));
    if (!m_file.valid()) {
        setFailed(errno);
        return false;
    }
    // Writes may wait from here on (a pipe with a reader that is slow), as any output does.
    const int flags = ::fcntl(m_file.get(), F_GETFL);
    if (flags < 0 || ::fcntl(m_file.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
        setFailed(errno);
        m_file = filedeal::FileDescriptor();
        return false;
    }
    return true;
}

bool ResultListFile::start() {
    if (!m_file.valid() || m_failed) {
        return false;
    }
    if (m_started) {
        return true;
    }
    m_started = true;
    struct stat st {};
    if (::fstat(m_file.get(), &st) != 0) {
        setFailed(errno);
        return false;
    }
    if (S_ISREG(st.st_mode) && ::ftruncate(m_file.get(), 0) != 0) {
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
    if (!filedeal::WriteAll(m_file.get(), m_line)) {
        setFailed(errno);
        return false;
    }
    return true;
}

bool ResultListFile::close() {
    if (!m_file.close()) {
        setFailed(errno);
    }
    return !m_failed;
}

} // namespace norvik::job
