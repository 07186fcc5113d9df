#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "TestSupport.h"
#include "TextFileSupport.h"
#include "filedeal/FileOps.h"
#include "filedeal/TextCodec.h"

using namespace norvik::filedeal;
using norvik::test::ReadBytes;
using norvik::test::TempDir;
using norvik::test::WriteAnsiText;
using norvik::test::WriteBytes;
namespace fs = std::filesystem;

namespace {

mode_t ModeOf(const fs::path& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st.st_mode & 07777;
}

std::size_t OpenDescriptors() {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

std::size_t EntryCount(const fs::path& folder) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

} // namespace

TEST(AtomicWrite, ReplacesContentKeepsModeAndLeavesNoTemporary) {
    TempDir dir;
    WriteBytes(dir / "f.txt", "old");
    ::chmod((dir / "f.txt").c_str(), 0640);
    ASSERT_TRUE(WriteFileAtomic(dir / "f.txt", "new content"));
    EXPECT_EQ(ReadBytes(dir / "f.txt"), "new content");
    EXPECT_EQ(ModeOf(dir / "f.txt"), 0640U);
    EXPECT_EQ(EntryCount(dir.path()), 1U);
}

TEST(AtomicWrite, ReadOnlyTargetIsRefusedAndKept) {
    TempDir dir;
    WriteBytes(dir / "ro.txt", "keep me");
    ::chmod((dir / "ro.txt").c_str(), 0444);
    EXPECT_FALSE(WriteFileAtomic(dir / "ro.txt", "changed"));
    EXPECT_FALSE(WriteAnsiText("changed", dir / "ro.txt"));
    EXPECT_EQ(ReadBytes(dir / "ro.txt"), "keep me");
    EXPECT_EQ(EntryCount(dir.path()), 1U);
}

TEST(AtomicWrite, FailureKeepsTheOldFile) {
    TempDir dir;
    fs::create_directory(dir / "locked");
    WriteBytes(dir / "locked" / "f.txt", "original");
    // A folder without write permission refuses the temporary file. Root ignores permissions, so
    // also check a path under a missing folder, which fails for everybody.
    ::chmod((dir / "locked").c_str(), 0555);
    if (::geteuid() != 0) {
        EXPECT_FALSE(WriteFileAtomic(dir / "locked" / "f.txt", "new"));
        EXPECT_EQ(ReadBytes(dir / "locked" / "f.txt"), "original");
    }
    EXPECT_FALSE(WriteFileAtomic(dir / "missing" / "f.txt", "new"));
    // A folder in place of the file is never replaced.
    fs::create_directory(dir / "dir.txt");
    EXPECT_FALSE(WriteFileAtomic(dir / "dir.txt", "new"));
    EXPECT_TRUE(fs::is_directory(dir / "dir.txt"));
}

TEST(AtomicWrite, SymbolicLinkIsWrittenThrough) {
    TempDir dir;
    WriteBytes(dir / "real.txt", "old");
    fs::create_symlink("real.txt", dir / "link.txt");
    ASSERT_TRUE(WriteFileAtomic(dir / "link.txt", "new"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.txt"));
    EXPECT_EQ(ReadBytes(dir / "real.txt"), "new");
    fs::create_symlink("loop2", dir / "loop1");
    fs::create_symlink("loop1", dir / "loop2");
    EXPECT_FALSE(WriteFileAtomic(dir / "loop1", "x"));
}

TEST(FileTests, ExistenceReadOnlyAndAttributes) {
    TempDir dir;
    WriteBytes(dir / "f", "x");
    EXPECT_TRUE(FileExists(dir / "f"));
    EXPECT_FALSE(FileExists(dir.path()));
    EXPECT_TRUE(FolderExists(dir.path()));
    EXPECT_TRUE(IsReadOnly(dir / "nothing-here"));
    EXPECT_FALSE(IsReadOnly(dir / "f"));
    ::chmod((dir / "f").c_str(), 0444);
    EXPECT_TRUE(IsReadOnly(dir / "f"));
    EXPECT_TRUE(ClearAttributes(dir / "f"));
    EXPECT_FALSE(IsReadOnly(dir / "f"));
    EXPECT_TRUE(CreateFolder(dir / "sub"));
    EXPECT_FALSE(CreateFolder(dir / "a" / "b")); // one level only
    EXPECT_EQ(FileNameOf("/x/y/name.txt"), "name.txt");
    EXPECT_EQ(FileNameOf("name"), "name");
}

TEST(Copy, NeverOverwritesAndKeepsMode) {
    TempDir dir;
    WriteBytes(dir / "a.txt", "first");
    ::chmod((dir / "a.txt").c_str(), 0444);
    ASSERT_TRUE(CopyFileNoOverwrite(dir / "a.txt", dir / "a.txt.bak"));
    EXPECT_EQ(ReadBytes(dir / "a.txt.bak"), "first");
    EXPECT_EQ(ModeOf(dir / "a.txt.bak"), 0444U);
    ::chmod((dir / "a.txt").c_str(), 0644);
    WriteBytes(dir / "a.txt", "second");
    EXPECT_FALSE(CopyFileNoOverwrite(dir / "a.txt", dir / "a.txt.bak"));
    EXPECT_EQ(ReadBytes(dir / "a.txt.bak"), "first");
    EXPECT_FALSE(CopyFileNoOverwrite(dir / "missing", dir / "missing.bak"));
    EXPECT_FALSE(fs::exists(dir / "missing.bak"));
    EXPECT_EQ(EntryCount(dir.path()), 2U);
}

// "Anything there" is about the name itself: a link that leads nowhere still takes the name.
TEST(FileTests, PathIsThereSeesEveryKindOfEntryButNotItsTarget) {
    TempDir dir;
    WriteBytes(dir / "f", "x");
    fs::create_directories(dir / "folder");
    fs::create_symlink(dir / "gone", dir / "dangling");
    for (const char* name : {"f", "f/", "folder", "folder/", "dangling", "dangling/"}) {
        EXPECT_TRUE(PathIsThere(dir / name)) << name;
    }
    EXPECT_FALSE(PathIsThere(dir / "gone"));
    EXPECT_EQ(errno, ENOENT);
}

TEST(FileTests, RegularOnlyReadsRefusePipesWithoutWaiting) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe.txt").c_str(), 0644), 0);
    EXPECT_THROW((void)ReadRegularFileBytes(dir / "pipe.txt"), FileOpenError);
    WriteBytes(dir / "f.txt", "bytes");
    EXPECT_EQ(ReadRegularFileBytes(dir / "f.txt"), "bytes");
}

// Rule files, lists and settings: only a regular file up to the limit is read, whatever stands at the
// path; everything else is the unreadable-file error at once (no wait for a pipe's writer, no read
// without end from a device).
TEST(SmallFiles, OnlyRegularFilesUpToTheLimitAreRead) {
    TempDir dir;
    const std::size_t descriptors = OpenDescriptors();
    WriteBytes(dir / "rules.nrr", "a\r\nb");
    EXPECT_EQ(ReadSmallFileBytes(dir / "rules.nrr"), "a\r\nb");
    EXPECT_EQ(ReadSmallFileBytes(dir / "rules.nrr", 4), "a\r\nb"); // exactly the limit
    EXPECT_THROW(static_cast<void>(ReadSmallFileBytes(dir / "rules.nrr", 3)), FileOpenError);
    WriteBytes(dir / "empty.nrr", "");
    EXPECT_EQ(ReadSmallFileBytes(dir / "empty.nrr", 0), "");

    ASSERT_EQ(::mkfifo((dir / "pipe.nrr").c_str(), 0644), 0);
    fs::create_symlink("/dev/zero", dir / "zero.nrr");
    fs::create_directories(dir / "folder.nrr");
    for (const char* name : {"pipe.nrr", "zero.nrr", "folder.nrr", "missing.nrr"}) {
        EXPECT_THROW(static_cast<void>(ReadSmallFileBytes(dir / name)), FileOpenError) << name;
    }
    // A regular file without a size of its own, read past the limit: refused, not held.
    if (fs::exists("/proc/self/maps")) {
        EXPECT_THROW(static_cast<void>(ReadSmallFileBytes("/proc/self/maps", 16)), FileOpenError);
        EXPECT_FALSE(ReadSmallFileBytes("/proc/self/maps").empty());
    }
    // Every refusal above closed what it had opened.
    EXPECT_EQ(OpenDescriptors(), descriptors);
}
