#pragma once
// Keeps two windows from saving over each other's settings. The first window on a settings file holds
// an advisory lock on "<settings file>.lock" for as long as it runs; a later window on the same file
// finds it taken and leaves the file to the first. The lock belongs to an open descriptor, so the
// kernel drops it however the window ends, a crash included: a lock file left behind is never a
// stale lock.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace norvik::settings {

/// Appended to the settings file's name to name its lock file.
inline constexpr std::string_view kSettingsLockSuffix = ".lock";

/// Shown by a window whose settings file another window holds; the settings file's path follows.
inline constexpr std::string_view kSettingsInUseMessage =
    "设置文件正被另一个 Norvik 窗口使用，本窗口关闭时不会保存设置:\n";

class SettingsLock {
public:
    enum class State : std::uint8_t {
        Held,        ///< this lock holds the file: save as usual
        InUse,       ///< another window holds it: do not save
        Unavailable, ///< nothing to lock (not acquired, or no lock file could be made or locked)
    };

    SettingsLock() = default;
    SettingsLock(const SettingsLock&) = delete;
    SettingsLock& operator=(const SettingsLock&) = delete;
    SettingsLock(SettingsLock&& other) noexcept;
    SettingsLock& operator=(SettingsLock&& other) noexcept;
    ~SettingsLock();

    /// Takes the lock of `settingsFile` without waiting. A settings file reached through a symbolic
    /// link is locked beside the file the link leads to, so two links to one file share the lock. A
    /// lock file that cannot be made or locked (a read-only folder, a link, a name taken by something
    /// that is not a regular file, a file system without locks) gives Unavailable: the window cannot
    /// tell, and saves as it did before locks (a folder it cannot write fails that save with its own
    /// message). The descriptor is closed on exec, so no program the window starts keeps the lock.
    [[nodiscard]] static SettingsLock acquire(const std::filesystem::path& settingsFile);

    [[nodiscard]] State state() const noexcept { return m_state; }

private:
    int m_fd = -1;
    State m_state = State::Unavailable;
};

} // namespace norvik::settings
