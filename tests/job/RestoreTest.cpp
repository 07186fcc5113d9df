// Backups made by real runs, put back by the restore.
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "JobTestSupport.h"
#include "TestSupport.h"
#include "job/JobEngine.h"
#include "job/Restore.h"

namespace norvik::test {
namespace {

namespace fs = std::filesystem;

class RestoreAfterRuns : public ::testing::Test {
protected:
    TempDir dir;
    settings::ReplaceOptions options;
    job::JobEngine engine{options};
    job::JobRequest request;

    fs::path put(const std::string& name, std::string_view bytes) {
        const fs::path path = dir / name;
        WriteBytes(path, bytes);
        request.targets.push_back(FileTarget(path));
        return path;
    }
    /// One run of find -> replacement; gives its result list as the window's ListBox1 would hold it.
    std::vector<std::string> run(std::string find, std::string replacement) {
        request.rules.texts.find = std::move(find);
        request.rules.texts.replacement = std::move(replacement);
        Recorder rec;
        static_cast<void>(engine.run(request, rec));
        return rec.results;
    }
};

TEST_F(RestoreAfterRuns, PutsEveryBackupBackAndLeavesNone) {
    const fs::path a = put("a.txt", "a1\r\n");
    const fs::path b = put("b.txt", Bytes("FFFE 6100 3200"));
    const fs::path c = put("c.txt", "a3\r\n");
    const std::vector<std::string> results = run("a", "z");
    ASSERT_EQ(results.size(), 3u);

    const job::RestoreResult restored = job::RestoreBackups(results, options);

    EXPECT_EQ(restored.restored, 3u);
    EXPECT_EQ(restored.message, "成功恢复3个");
    EXPECT_EQ(ReadBytes(a), "a1\r\n");
    EXPECT_EQ(ReadBytes(b), Bytes("FFFE 6100 3200"));
    EXPECT_EQ(ReadBytes(c), "a3\r\n");
    for (const fs::path& path : {a, b, c}) {
        EXPECT_FALSE(fs::exists(PathText(path) + ".bak"));
    }
    EXPECT_EQ(job::RestoreBackups(results, options).message, "成功恢复0个");
}

TEST_F(RestoreAfterRuns, TwoRunsRestoreTheStateBeforeTheFirst) {
    const fs::path a = put("a.txt", "a\r\n");
    const fs::path b = put("b.txt", "x\r\n");
    static_cast<void>(run("a", "b"));
    static_cast<void>(run("x", "y")); // b.txt changes only now
    const std::vector<std::string> third = run("b", "c");
    ASSERT_EQ(third, std::vector<std::string>{PathText(a)});

    EXPECT_EQ(job::RestoreBackups(third, options).restored, 1u);
    EXPECT_EQ(ReadBytes(a), "a\r\n");
    EXPECT_EQ(ReadBytes(b), "y\r\n"); // not in the last result list
}

TEST_F(RestoreAfterRuns, SkipsMissingAndReadOnlyFilesAndPathsWithoutBackup) {
    const fs::path a = put("a.txt", "a\r\n");
    const fs::path b = put("b.txt", "a\r\n");
    const fs::path c = put("c.txt", "a\r\n");
    std::vector<std::string> results = run("a", "b");
    fs::remove(a);
    MakeReadOnly(b);
    results.push_back(dir.folder() + "never.txt");

    const job::RestoreResult restored = job::RestoreBackups(results, options);

    EXPECT_EQ(restored.message, "成功恢复1个");
    EXPECT_FALSE(fs::exists(a));
    EXPECT_TRUE(fs::exists(PathText(a) + ".bak"));
    EXPECT_EQ(ReadBytes(b), "b\r\n");
    EXPECT_TRUE(fs::exists(PathText(b) + ".bak"));
    EXPECT_EQ(ReadBytes(c), "a\r\n");
}

// A link to a file on another file system: its backup lies beside the link, so one rename cannot put
// it back; it is copied beside the real file and renamed over it, and the link stays a link.
TEST_F(RestoreAfterRuns, ThroughALinkToAnotherFileSystem) {
    const fs::path shm = "/dev/shm";
    struct stat here {
    }, there{};
    if (::stat(dir.path().c_str(), &here) != 0 || ::stat(shm.c_str(), &there) != 0 || here.st_dev == there.st_dev) {
        GTEST_SKIP() << "needs /dev/shm on a file system of its own";
    }
    const fs::path real = shm / ("norvik-restore-" + std::to_string(::getpid()) + ".txt");
    WriteBytes(real, "a1\r\n");
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const fs::path link = dir / "l.txt";
    fs::create_symlink(real, link);
    request.targets.push_back(FileTarget(link));
    const std::vector<std::string> written = run("a", "b");
    ASSERT_EQ(ReadBytes(real), "b1\r\n");
    const job::RestoreResult restored = job::RestoreBackups(written, options);
    EXPECT_EQ(restored.restored, 1u);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadBytes(real), "a1\r\n");
    EXPECT_EQ(fs::status(real).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_FALSE(fs::exists(dir / "l.txt.bak"));
    fs::remove(real);
}

TEST_F(RestoreAfterRuns, OutputFolderModeOnlySaysWhy) {
    const fs::path a = put("a.txt", "a\r\n");
    const std::vector<std::string> results = run("a", "b");
    options.outputToFolder = true;
    options.outputFolder = "/data/out/";

    const job::RestoreResult restored = job::RestoreBackups(results, options);

    EXPECT_EQ(restored.message, "文件输出到\"/data/out/\"没有破坏原文件!,不需恢复");
    EXPECT_EQ(restored.restored, 0u);
    EXPECT_EQ(ReadBytes(a), "b\r\n");
    EXPECT_TRUE(fs::exists(PathText(a) + ".bak"));
}

TEST_F(RestoreAfterRuns, AnEmptyResultListSaysThereIsNothingToRestore) {
    const job::RestoreResult restored = job::RestoreBackups({}, options);
    EXPECT_EQ(restored.restored, 0u);
    EXPECT_EQ(restored.message, "没有可恢复的文件:结果列表是空的");
}

} // namespace
} // namespace norvik::test
