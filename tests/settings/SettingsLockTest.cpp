// The settings file's lock: one holder at a time (two windows of one process: SettingsBindingTest),
// shared through a link to the file, never stale after its holder dies, never a hang over a strange
// lock file.
#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TestSupport.h"
#include "settings/SettingsLock.h"

namespace norvik::settings {
namespace {

namespace fs = std::filesystem;
using State = SettingsLock::State;
using test::TempDir;
using test::WriteBytes;

TEST(SettingsLock, OneHolderThroughAnyLinkAndNoStaleLockAfterItIsKilled) {
    TempDir dir;
    WriteBytes(dir / "NVK.xml", "<R/>");
    fs::create_symlink(dir / "NVK.xml", dir / "link.xml");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const SettingsLock lock = SettingsLock::acquire(dir / "NVK.xml");
        const char held = lock.state() == State::Held ? 'y' : 'n';
        (void)!::write(ready[1], &held, 1);
        ::alarm(60); // ends the child even if the test fails before killing it
        ::pause();
        ::_exit(0);
    }
    char held = 0;
    ASSERT_EQ(::read(ready[0], &held, 1), 1);
    EXPECT_EQ(held, 'y');
    EXPECT_EQ(SettingsLock::acquire(dir / "link.xml").state(), State::InUse);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_EQ(SettingsLock::acquire(dir / "NVK.xml").state(), State::Held);
}

TEST(SettingsLock, ALockFileThatCannotBeUsedGivesUnavailableAtOnce) {
    TempDir dir;
    WriteBytes(dir / "NVK.xml", "<R/>");
    ASSERT_EQ(::mkfifo((dir / "NVK.xml.lock").c_str(), 0600), 0); // opening it must not wait
    EXPECT_EQ(SettingsLock::acquire(dir / "NVK.xml").state(), State::Unavailable);
    fs::remove(dir / "NVK.xml.lock");
    fs::create_symlink(dir / "elsewhere", dir / "NVK.xml.lock");
    EXPECT_EQ(SettingsLock::acquire(dir / "NVK.xml").state(), State::Unavailable);
    EXPECT_FALSE(fs::exists(dir / "elsewhere"));
}

} // namespace
} // namespace norvik::settings
