#include "settings/SettingsLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace norvik::settings {

namespace fs = std::filesystem;

SettingsLock::SettingsLock(SettingsLock&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_state(std::exchange(other.m_state, State::Unavailable)) {}

SettingsLock& SettingsLock::operator=(SettingsLock&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = std::exchange(other.m_fd, -1);
        m_state = std::exchange(other.m_state, State::Unavailable);
    }
    return *this;
}

SettingsLock::~SettingsLock() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

SettingsLock SettingsLock::acquire(const fs::path& settingsFile) {
    std::error_code ec;
    fs::path target = fs::canonical(settingsFile, ec);
    if (ec) {
        target = settingsFile;
    }
    const std::string lockFile = target.string() + std::string(kSettingsLockSuffix);
    SettingsLock lock;
    // flock, not fcntl: its lock belongs to the open file description, so two windows of one process
    // exclude each other too. Non-blocking open: a FIFO in the lock file's place never hangs the start.
    const int fd = ::open(lockFile.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0) {
        return lock;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return lock;
    }
    lock.m_fd = fd;
    int result = 0;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0) {
        lock.m_state = State::Held;
    } else if (errno == EWOULDBLOCK) {
        lock.m_state = State::InUse;
    }
    return lock;
}

} // namespace norvik::settings
