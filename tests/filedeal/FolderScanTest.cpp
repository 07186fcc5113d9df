#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <random>
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

namespace {

// What a scan of one mask gave when each mask listed the tree on its own: a folder's matching names
// in byte order, then its real subfolders depth first; excluded names neither listed nor entered; a
// backup beside its file left out (the file may itself be excluded).
void ScanOneMaskAsBefore(const fs::path& folder, bool sub, const std::string& mask, const FolderScanRequest& rules,
                         std::vector<std::string>& out) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    const auto present = [&names](const std::string& name) {
        return std::binary_search(names.begin(), names.end(), name);
    };
    const auto realFolder = [&folder](const std::string& name) {
        return fs::is_directory(fs::symlink_status(folder / name));
    };
    for (const std::string& name : names) {
        const bool backup = name.size() > 4 && name.ends_with(".bak") && present(name.substr(0, name.size() - 4));
        if (!IsExcludedName(name, rules) && (realFolder(name) || !backup) && MatchesMask(name, mask)) {
            out.push_back((folder / name).string());
        }
    }
    for (const std::string& name : names) {
        if (sub && !IsExcludedName(name, rules) && realFolder(name)) {
            ScanOneMaskAsBefore(folder / name, true, mask, rules, out);
        }
    }
}

// A random tree of files, folders, hard links across folders, links to files, to folders and to
// nothing, with names that overlap the masks, dot names, backups beside their files and excluded names.
void GrowRandomTree(const fs::path& root, std::mt19937& random) {
    const std::vector<std::string> names = {"a.txt",      "B.TXT",  ".hidden.txt", "x.c",       "x.cpp",  "y.htm",
                                            "y.html",     "README", "a.txt.bak",   "lone.bak",  "vendor", ".git",
                                            "lib.min.js", "CVS",    "z",           "notes.txt", "文件.c", "sub"};
    std::vector<fs::path> files;
    std::vector<fs::path> folders{root};
    const auto pick = [&random](std::size_t size) {
        return std::uniform_int_distribution<std::size_t>(0, size - 1)(random);
    };
    for (int step = 0; step < 60; ++step) {
        const fs::path parent = folders[pick(folders.size())];
        if (std::distance(parent.begin(), parent.end()) - std::distance(root.begin(), root.end()) > 3) {
            continue;
        }
        const fs::path path = parent / names[pick(names.size())];
        if (fs::exists(fs::symlink_status(path))) {
            continue;
        }
        switch (pick(10)) {
        case 0:
        case 1:
            fs::create_directory(path);
            folders.push_back(path);
            break;
        case 2:
            if (!files.empty()) {
                fs::create_hard_link(files[pick(files.size())], path);
            }
            break;
        case 3:
            fs::create_symlink(files.empty() ? root / "nowhere" : files[pick(files.size())], path);
            break;
        case 4:
            fs::create_directory_symlink(folders[pick(folders.size())], path);
            break;
        default:
            WriteBytes(path, "x");
            files.push_back(path);
        }
    }
}

} // namespace

// The tree is listed once for all masks now; the paths must still come in the order of one listing
// per mask, and each identity must be the one stat gives (through links), on random trees.
TEST(Scan, OneListingForAllMasksKeepsTheOrderOfOneScanPerMaskOnRandomTrees) {
    const std::vector<std::string> maskPool = {"*.txt", "*.c*", "*.*", "*.htm", "?.c", "a*", "", "*", "*.bak"};
    std::mt19937 random(20261208);
    for (int round = 0; round < 40; ++round) {
        TempDir dir;
        GrowRandomTree(dir.path(), random);
        FolderScanRequest request;
        for (const std::string& mask : maskPool) {
            if (random() % 2 == 0) {
                request.masks.push_back(mask);
            }
        }
        std::shuffle(request.masks.begin(), request.masks.end(), random);
        request.withSubfolders = random() % 4 != 0;
        request.skipVersionControl = random() % 2 == 0;
        if (random() % 2 == 0) {
            request.excludeMasks = {"vendor", "*.min.js", ""};
        }
        request.identifyByStat = round % 2 == 1;

        std::vector<std::string> expected;
        for (const std::string& mask : request.masks) {
            ScanOneMaskAsBefore(dir.path(), request.withSubfolders, mask, request, expected);
        }
        ScannedFiles found;
        ScanFolderForMasks(dir.folder(), request, found);
        ASSERT_EQ(found.paths, expected) << "round " << round;
        ASSERT_EQ(found.identities.size(), found.paths.size());
        for (std::size_t i = 0; i < found.paths.size(); ++i) {
            FileStamp stamp;
            const bool reached = StampOf(found.paths[i], stamp);
            EXPECT_EQ(found.identities[i], (reached ? FileIdentity{stamp.device, stamp.inode, true} : FileIdentity{}))
                << found.paths[i];
        }
        EXPECT_TRUE(found.unreadable.empty());
        EXPECT_FALSE(found.stopped);
    }
}

TEST(Scan, ExcludedNamesAreNeitherListedNorEnteredButTheScannedFolderNeverIs) {
    TempDir dir;
    for (const char* name :
         {".git/config", ".svn/a.txt", ".hg/b.txt", ".bzr/c.txt", "_darcs/d.txt", "CVS/Entries", "cvs/kept.txt",
          "src/.git", "src/main.c", "vendor/v.txt", "src/vendor/w.txt", "app.min.js", "app.js", "Vendor.txt"}) {
        fs::create_directories((dir / name).parent_path());
        WriteBytes(dir / name, "x");
    }
    fs::create_directory_symlink(dir / "src", dir / "CVS.link");
    FolderScanRequest request;
    request.masks = {"*.*"};
    request.withSubfolders = true;
    request.skipVersionControl = true;
    request.excludeMasks = {"vendor", "*.MIN.js"}; // masks as for the types: letter case aside
    const auto scan = [&request](const std::string& folder) {
        ScannedFiles found;
        ScanFolderForMasks(folder, request, found);
        std::vector<std::string> names;
        for (const std::string& path : found.paths) {
            names.push_back(path.substr(folder.size()));
        }
        return names;
    };
    const std::string base = dir.folder();
    // A worktree's ".git" file is skipped like the folder; "cvs" is no version-control name.
    EXPECT_EQ(scan(base), (std::vector<std::string>{"CVS.link", "Vendor.txt", "app.js", "cvs", "src", "cvs/kept.txt",
                                                    "src/main.c"}));
    // A ticked folder is never excluded itself, whatever its name.
    EXPECT_EQ(scan(base + "vendor/"), std::vector<std::string>{"v.txt"});
    EXPECT_EQ(scan(base + ".git/"), std::vector<std::string>{"config"});

    request.skipVersionControl = false;
    request.excludeMasks.clear();
    EXPECT_EQ(scan(base).size(), 25U); // every entry: 10 folders, 14 files and the link
}

// A stop while a large tree is listed ends the listing at the next folder.
TEST(Scan, AStopEndsTheListingAtTheNextFolder) {
    TempDir dir;
    for (const char* name : {"a/1.txt", "b/2.txt", "c/3.txt"}) {
        fs::create_directories((dir / name).parent_path());
        WriteBytes(dir / name, "x");
    }
    FolderScanRequest request;
    request.masks = {"*.txt"};
    request.withSubfolders = true;
    int folders = 0;
    request.stopRequested = [&folders] {
        return ++folders > 2;
    };
    ScannedFiles found;
    ScanFolderForMasks(dir.folder(), request, found);
    EXPECT_TRUE(found.stopped);
    EXPECT_EQ(found.paths, std::vector<std::string>{dir.folder() + "a/1.txt"});
}
