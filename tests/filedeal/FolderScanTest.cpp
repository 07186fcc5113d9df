#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <unistd.h>

#include "TestSupport.h"
#include "filedeal/FileOps.h"
#include "filedeal/FolderScan.h"

using namespace norvik::filedeal;
using norvik::test::TempDir;
using norvik::test::WriteBytes;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> Scan(const std::string& folder, bool sub, std::string_view mask, const std::string& base) {
    std::vector<std::string> result;
    ScanFolder(folder, sub, mask, result);
    for (auto& p : result) {
        p = p.substr(base.size());
    }
    return result;
}

} // namespace

TEST(Masks, CaseInsensitiveStarAndQuestionMark) {
    EXPECT_TRUE(MatchesMask("a.TXT", "*.txt"));
    EXPECT_TRUE(MatchesMask(".txt", "*.txt"));
    EXPECT_FALSE(MatchesMask("a.txt.bak", "*.txt"));
    EXPECT_TRUE(MatchesMask("ab.c", "a?.c"));
    EXPECT_FALSE(MatchesMask("a.c", "a?.c"));
    EXPECT_TRUE(MatchesMask("README", "*.*"));
    EXPECT_TRUE(MatchesMask("x.tar.gz", "*.*"));
    EXPECT_FALSE(MatchesMask("x", ""));
    EXPECT_TRUE(MatchesMask("aXbXc", "a*b*c"));
    EXPECT_FALSE(MatchesMask("aXbXd", "a*b*c"));
    // A three-letter extension also takes longer extensions that begin with it.
    EXPECT_TRUE(MatchesMask("page.HTML", "*.htm"));
    EXPECT_FALSE(MatchesMask("page.ht", "*.htm"));
    EXPECT_FALSE(MatchesMask("a.cpp", "*.c"));
    EXPECT_FALSE(MatchesMask("a.htmx.bak", "*.htm"));
    // '?' is one character of the name, however many bytes UTF-8 gives it; bytes that are no UTF-8
    // count one each.
    EXPECT_TRUE(MatchesMask("é.txt", "?.txt"));
    EXPECT_TRUE(MatchesMask("文件.txt", "??.txt"));
    EXPECT_FALSE(MatchesMask("文件.txt", "?.txt"));
    EXPECT_TRUE(MatchesMask("a文.txt", "*?.txt"));
    EXPECT_FALSE(MatchesMask("文.txt", "*??.txt"));
    EXPECT_TRUE(MatchesMask("\xC4\xE3.txt", "??.txt")); // GBK bytes in a name
}

TEST(Scan, BackupsBesideTheirFileAreNotListed) {
    TempDir dir;
    const std::string base = dir.folder();
    for (const char* name : {"a.txt", "a.txt.bak", "lone.txt.bak", "b.bak"}) {
        WriteBytes(dir / name, "");
    }
    fs::create_directory(dir / "c");
    fs::create_directory(dir / "c.bak"); // a folder is no backup of ours
    EXPECT_EQ(Scan(base, false, "*.*", base),
              (std::vector<std::string>{"a.txt", "b.bak", "c", "c.bak", "lone.txt.bak"}));
}

TEST(Scan, OrderIsFolderFirstThenSubfoldersDepthFirst) {
    TempDir dir;
    const std::string base = dir.folder();
    fs::create_directories(dir / "b" / "deep");
    fs::create_directories(dir / "a");
    WriteBytes(dir / "z.txt", "");
    WriteBytes(dir / "m.TXT", "");
    WriteBytes(dir / "other.c", "");
    WriteBytes(dir / "a" / "1.txt", "");
    WriteBytes(dir / "b" / "2.txt", "");
    WriteBytes(dir / "b" / "deep" / "3.txt", "");
    fs::create_directory(dir / "notes.txt"); // a folder named like a file type is listed like a file

    EXPECT_EQ(Scan(base, true, "*.txt", base),
              (std::vector<std::string>{"m.TXT", "notes.txt", "z.txt", "a/1.txt", "b/2.txt", "b/deep/3.txt"}));
    EXPECT_EQ(Scan(base, false, "*.txt", base), (std::vector<std::string>{"m.TXT", "notes.txt", "z.txt"}));
    // With and without the trailing slash the paths are the same.
    const std::string noSlash = base.substr(0, base.size() - 1);
    EXPECT_EQ(Scan(noSlash, false, "*.c", base), (std::vector<std::string>{"other.c"}));
    // "*.*" lists every entry, folders included, but never "." and "..".
    const auto all = Scan(base, false, "*.*", base);
    EXPECT_EQ(all, (std::vector<std::string>{"a", "b", "m.TXT", "notes.txt", "other.c", "z.txt"}));
}

TEST(Scan, AppendsAndNeverFollowsLinkedFolders) {
    TempDir dir;
    const std::string base = dir.folder();
    fs::create_directories(dir / "sub");
    WriteBytes(dir / "sub" / "f.txt", "");
    fs::create_directory_symlink("..", dir / "sub" / "loop"); // a loop back to the top
    std::vector<std::string> result{"kept"};
    int yields = 0;
    ScanFolder(base, true, "*.txt", result, [&] { ++yields; });
    EXPECT_EQ(result, (std::vector<std::string>{"kept", base + "sub/f.txt"}));
    EXPECT_GT(yields, 0);
    // A missing folder adds nothing.
    ScanFolder(base + "missing/", true, "*.txt", result);
    EXPECT_EQ(result.size(), 2U);
}

TEST(Scan, RemovesTemporariesLeftByAKilledWrite) {
    TempDir dir;
    WriteBytes(dir / "a.txt", "old");
    WriteBytes(dir / ".a.txt.norvik-tmp-Ab12Cd", "half-written");
    WriteBytes(dir / ".norvik-tmp-Zz99Yy", "half-written");
    WriteBytes(dir / ".a.txt.bak.norvik-tmp-Qq12Rr", "a backup copy never linked into place");
    // Names that only look like temporaries are the user's: no file beside them, or not our form.
    WriteBytes(dir / ".gone.txt.norvik-tmp-Ab12Cd", "user data");
    WriteBytes(dir / ".nvk-backup", "user data");
    WriteBytes(dir / ".a.txt.norvik-tmp-short", "user data");
    EXPECT_TRUE(norvik::filedeal::IsTemporaryName(".a.txt.norvik-tmp-Ab12Cd"));
    EXPECT_EQ(norvik::filedeal::TemporaryTargetOf(".a.txt.norvik-tmp-Ab12Cd"), "a.txt");
    EXPECT_EQ(norvik::filedeal::TemporaryTargetOf(".norvik-tmp-Ab12Cd"), "");
    EXPECT_FALSE(norvik::filedeal::IsTemporaryName("a.txt.norvik-tmp-Ab12Cd"));
    const std::vector<std::string> expected = {dir.folder() + ".a.txt.norvik-tmp-short",
                                               dir.folder() + ".gone.txt.norvik-tmp-Ab12Cd",
                                               dir.folder() + ".nvk-backup", dir.folder() + "a.txt"};
    // Reading (a search, a dry run) leaves them: only a run that writes sweeps.
    std::vector<std::string> result;
    ScanFolder(dir.folder(), false, "*.*", result);
    EXPECT_EQ(result, expected);
    EXPECT_TRUE(fs::exists(dir / ".a.txt.norvik-tmp-Ab12Cd"));
    // A temporary that a writer still holds (locked) is in use, not left over.
    const int held = ::open((dir / ".norvik-tmp-Zz99Yy").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    result.clear();
    ScanFolder(dir.folder(), false, "*.*", result, {}, nullptr, true);
    EXPECT_EQ(result, expected);
    EXPECT_TRUE(fs::exists(dir / ".norvik-tmp-Zz99Yy"));
    ::close(held);
    result.clear();
    ScanFolder(dir.folder(), false, "*.*", result, {}, nullptr, true);
    EXPECT_EQ(result, expected);
    EXPECT_FALSE(fs::exists(dir / ".a.txt.norvik-tmp-Ab12Cd"));
    EXPECT_FALSE(fs::exists(dir / ".norvik-tmp-Zz99Yy"));
    EXPECT_FALSE(fs::exists(dir / ".a.txt.bak.norvik-tmp-Qq12Rr"));
}

TEST(Scan, LongNamesStillGetATemporaryFile) {
    TempDir dir;
    const std::string name(250, 'n');
    WriteBytes(dir / name, "old");
    EXPECT_TRUE(norvik::filedeal::WriteFileAtomic(dir / name, "new"));
    EXPECT_EQ(norvik::test::ReadBytes(dir / name), "new");
}
