// How a run writes a changed file: in its own encoding, with its backup, permissions and links kept,
// and which files it must refuse to write.
#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>
#include <unistd.h>

#include "JobTestSupport.h"
#include "TestSupport.h"
#include "filedeal/FileOps.h"
#include "filedeal/TextCodec.h"
#include "job/JobEngine.h"
#include "job/JobTexts.h"

namespace norvik::test {
namespace {

namespace fs = std::filesystem;
using job::RunStatus;
using settings::ReplaceMode;

// "中文" and "汉字" in each encoding.
const std::string kGbkOld = Bytes("D6D0 CEC4");
const std::string kGbkNew = Bytes("BABA D7D6");

TEST_F(JobRun, AllFourEncodingsAreRewrittenInTheirOwnEncodingWithBackups) {
    const std::string ansi = kGbkOld + "a\r\n";
    const std::string utf16 = Bytes("FFFE 2D4E 8765 6100 0D00 0A00");
    const std::string utf8Bom = Bytes("EFBBBF E4B8AD E69687 61 0D0A");
    const std::string utf8 = Bytes("E4B8AD E69687 61 0D0A");
    put("a.txt", ansi);
    put("b.txt", utf16);
    put("c.txt", utf8Bom);
    put("d.txt", utf8);
    request.targets.push_back(FolderTarget(dir.path()));
    rule(kGbkOld, kGbkNew);

    const job::RunResult result = run();

    EXPECT_EQ(result.status, RunStatus::Finished);
    EXPECT_EQ(ReadBytes(dir / "a.txt"), kGbkNew + "a\r\n");
    EXPECT_EQ(ReadBytes(dir / "b.txt"), Bytes("FFFE 496C 575B 6100 0D00 0A00"));
    EXPECT_EQ(ReadBytes(dir / "c.txt"), Bytes("EFBBBF E6B189 E5AD97 61 0D0A"));
    EXPECT_EQ(ReadBytes(dir / "d.txt"), Bytes("E6B189 E5AD97 61 0D0A"));
    EXPECT_EQ(ReadBytes(dir / "a.txt.bak"), ansi);
    EXPECT_EQ(ReadBytes(dir / "b.txt.bak"), utf16);
    EXPECT_EQ(ReadBytes(dir / "c.txt.bak"), utf8Bom);
    EXPECT_EQ(ReadBytes(dir / "d.txt.bak"), utf8);
    const std::string folder = dir.folder();
    EXPECT_EQ(rec.results,
              (std::vector<std::string>{folder + "a.txt", folder + "b.txt", folder + "c.txt", folder + "d.txt"}));
    EXPECT_EQ(rec.changed, rec.results);
    EXPECT_TRUE(rec.errors.empty());
    EXPECT_EQ(rec.percents, (std::vector<unsigned>{25, 50, 75, 100}));
    EXPECT_EQ(rec.summaries, std::vector<std::string>{
                                 "替换规则1条,共涉及文件4个,符合替换条件的4个,成功替换4个,失败0个,文件不存在0个"});
    ASSERT_EQ(rec.elapsedTexts.size(), 1u);
    EXPECT_EQ(rec.elapsedTexts[0].rfind("耗时0分", 0), 0u);
    EXPECT_EQ(rec.collected, std::vector<std::size_t>{4});
    EXPECT_EQ(result.counters, (job::RunCounters{4, 4, 0, 4, 0}));
}

TEST_F(JobRun, UnchangedFilesKeepTheirBytesAndTime) {
    const fs::path plain = put("plain.txt", "nothing here\r\n");
    const fs::path utf16 = put("wide.txt", Bytes("FFFE 7A00 0A00")); // a lone LF stays untouched too
    const auto plainTime = AgeFile(plain);
    const auto wideTime = AgeFile(utf16);
    target(plain);
    target(utf16);
    rule("abc", "xyz");

    run();

    EXPECT_EQ(ReadBytes(plain), "nothing here\r\n");
    EXPECT_EQ(ReadBytes(utf16), Bytes("FFFE 7A00 0A00"));
    EXPECT_EQ(fs::last_write_time(plain), plainTime);
    EXPECT_EQ(fs::last_write_time(utf16), wideTime);
    EXPECT_FALSE(fs::exists(dir / "plain.txt.bak"));
    EXPECT_TRUE(rec.changed.empty());
    EXPECT_EQ(rec.summaries.back(), "替换规则1条,共涉及文件2个,符合替换条件的0个,成功替换0个,失败0个,文件不存在0个");
}

TEST_F(JobRun, AWriteKeepsThePermissionsAndWritesThroughALink) {
    const fs::path real = put("real.txt", "a\r\n");
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const fs::path link = dir / "link.txt";
    fs::create_symlink(real, link);
    target(link);
    options.backup = false;
    rule("a", "b");

    run();

    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadBytes(real), "b\r\n");
    EXPECT_EQ(fs::status(real).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(rec.results, std::vector<std::string>{PathText(link)});
}

TEST_F(JobRun, ReadOnlyFilesAreRefusedUnlessForced) {
    const fs::path locked = put("locked.txt", "a\r\n");
    MakeReadOnly(locked);
    target(locked);
    rule("a", "b");

    const job::RunResult refused = run();

    EXPECT_EQ(ReadBytes(locked), "a\r\n");
    EXPECT_EQ(rec.errors, std::vector<std::string>{PathText(locked) + " is Error!!!"});
    EXPECT_EQ(ReadBytes(dir / "locked.txt.bak"), "a\r\n"); // the backup was made before the write failed
    EXPECT_EQ(refused.counters, (job::RunCounters{1, 1, 0, 0, 1}));

    rec = Recorder();
    options.forceReadOnly = true;
    const job::RunResult forced = run();

    EXPECT_EQ(ReadBytes(locked), "b\r\n");
    EXPECT_TRUE(OwnerWritable(locked));
    EXPECT_TRUE(rec.errors.empty());
    EXPECT_EQ(forced.counters, (job::RunCounters{1, 1, 0, 1, 0}));
    EXPECT_EQ(ReadBytes(dir / "locked.txt.bak"), "a\r\n");
}

TEST_F(JobRun, AnExistingBackupIsNeverOverwritten) {
    const fs::path a = put("a.txt", "a\r\n");
    target(a);
    rule("a", "b");
    run();
    rule("b", "c");
    run();
    EXPECT_EQ(ReadBytes(a), "c\r\n");
    EXPECT_EQ(ReadBytes(dir / "a.txt.bak"), "a\r\n");

    options.backup = false;
    rule("c", "d");
    run();
    EXPECT_EQ(ReadBytes(dir / "a.txt.bak"), "a\r\n");
    EXPECT_FALSE(fs::exists(dir / "a.txt.bak.bak"));
}

TEST_F(JobRun, AFileWhoseBackupCannotBeMadeIsNotWritten) {
    // A 252-byte name is a valid file, but its backup name is too long for the file system.
    const fs::path longName = put(std::string(248, 'n') + ".txt", "a\r\n");
    const fs::path other = put("other.txt", "a\r\n");
    target(longName);
    target(other);
    rule("a", "b");

    const job::RunResult result = run();

    EXPECT_EQ(ReadBytes(longName), "a\r\n");
    EXPECT_EQ(rec.errors, std::vector<std::string>{PathText(longName) + " is Error!!!"});
    EXPECT_EQ(ReadBytes(other), "b\r\n");
    EXPECT_EQ(result.counters, (job::RunCounters{2, 2, 0, 1, 1}));
}

TEST_F(JobRun, AUnicodeFileBeyondTheCodePageIsEditedInUnicodeAndKeepsEveryCharacter) {
    // U+D55C, an emoji and a check mark have no place in the code page; the file is edited in
    // Unicode and written back whole, in its own encoding.
    const std::string utf8 = Bytes("61 20 ED959C F09F9880 E29C93 0D0A");
    const std::string utf16 = Bytes("FFFE 6100 2000 5CD5 3DD8 00DE 1327 0D00 0A00");
    const fs::path u8 = put("u8.txt", utf8);
    const fs::path u8Mark = put("u8m.txt", Bytes("EFBBBF") + utf8);
    const fs::path u16 = put("u16.txt", utf16);
    target(u8);
    target(u8Mark);
    target(u16);
    rule("a", "b");

    const job::RunResult result = run();

    EXPECT_EQ(ReadBytes(u8), "b" + utf8.substr(1));
    EXPECT_EQ(ReadBytes(u8Mark), Bytes("EFBBBF") + "b" + utf8.substr(1));
    EXPECT_EQ(ReadBytes(u16), Bytes("FFFE 6200") + utf16.substr(4));
    EXPECT_EQ(ReadBytes(dir / "u8.txt.bak"), utf8);
    EXPECT_EQ(ReadBytes(dir / "u16.txt.bak"), utf16);
    EXPECT_TRUE(rec.errors.empty());
    EXPECT_EQ(result.counters, (job::RunCounters{3, 3, 0, 3, 0}));

    // Ignoring case folds ASCII letters only: 丄 (GBK 81 41) never matches 乤 (81 61) beside an emoji.
    const std::string both = Bytes("E4B9A4 F09F9880 E4B884");
    const fs::path pair = put("pair.txt", both);
    request.targets = {FileTarget(pair)};
    options.ignoreCase = true;
    rule(Bytes("8141"), "X"); // 丄 as working text
    run();
    EXPECT_EQ(ReadBytes(pair), Bytes("E4B9A4 F09F9880") + "X");
}

// A hex rule may hold half a character: B0 -> B1 turns 啊 (B0 A1) into the character B1 A1. A file
// the code page holds is edited as ever; one with characters beyond it would have its codes cut, so
// it is an error line and stays as it was, without a backup.
TEST_F(JobRun, ARuleOfHalfACharacterLeavesAFileBeyondTheCodePageAlone) {
    const std::string held = filedeal::EncodeText(Bytes("B0A1") + "x", filedeal::EncodingKind::Utf8).bytes;
    const std::string beyond = held + Bytes("F09F9880");
    const fs::path heldPath = put("held.txt", held);
    const fs::path beyondPath = put("beyond.txt", beyond);
    target(heldPath);
    target(beyondPath);
    options.multiple = true;
    request.rules.ruleFolder = dir.folder() + "MultiReplace/";
    request.rules.ruleSetName = "half";
    put("MultiReplace/half.nrr", "B0;B1\r\n");

    const job::RunResult result = run();

    EXPECT_EQ(ReadBytes(heldPath), filedeal::EncodeText(Bytes("B1A1") + "x", filedeal::EncodingKind::Utf8).bytes);
    EXPECT_EQ(ReadBytes(beyondPath), beyond);
    EXPECT_FALSE(fs::exists(dir / "beyond.txt.bak"));
    EXPECT_EQ(rec.errors, std::vector<std::string>{PathText(beyondPath) + " is Error!!!"});
    EXPECT_EQ(result.counters, (job::RunCounters{2, 2, 0, 1, 1}));
}

TEST_F(JobRun, AFileThatExistsButCannotBeReadIsAnErrorAndTheRunGoesOn) {
    fs::path unreadable = put("secret.txt", "a\r\n");
    fs::permissions(unreadable, fs::perms::none);
    if (::geteuid() == 0) {
        // Permissions do not stop the superuser; a process's own memory file does (it cannot be
        // read from offset 0).
        unreadable = "/proc/self/mem";
        try {
            static_cast<void>(filedeal::ReadFileBytes(unreadable));
            GTEST_SKIP() << "no unreadable regular file available here";
        } catch (const filedeal::FileOpenError&) {
        }
    }
    const fs::path after = put("after.txt", "a\r\n");
    target(unreadable);
    target(after);
    rule("a", "b");

    const job::RunResult result = run();

    EXPECT_EQ(rec.errors, std::vector<std::string>{PathText(unreadable) + " is Error!!!"});
    EXPECT_EQ(ReadBytes(after), "b\r\n");
    EXPECT_EQ(result.counters, (job::RunCounters{2, 1, 0, 1, 1}));
    EXPECT_FALSE(engine.isBusy());
}

} // namespace
} // namespace norvik::test
