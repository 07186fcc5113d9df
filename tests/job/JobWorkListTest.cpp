// Which files a run works on, in which order, and how it counts them.
#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>
#include <unistd.h>

#include "JobTestSupport.h"
#include "TestSupport.h"
#include "filedeal/FileOps.h"
#include "job/JobEngine.h"
#include "job/JobTexts.h"

namespace norvik::test {
namespace {

namespace fs = std::filesystem;
using job::RunStatus;
using settings::ReplaceMode;

// A file reached twice got its rules twice (an insertion inserted twice): each file is handled once.
TEST_F(JobRun, DuplicatesAreHandledOnceAndMissingPathsCounted) {
    const fs::path a = put("a.txt", "a\r\n");
    target(a);
    target(a);
    request.targets.push_back(FolderTarget(dir.path())); // reaches a.txt a third time
    target(dir / "gone.txt");
    request.targets.push_back(FileTarget(dir.path())); // a folder without its '/' is taken as a file
    request.targets.push_back(FileTarget(dir / "unticked.txt", false));
    rule("a", "b");

    const job::RunResult result = run();

    EXPECT_EQ(ReadBytes(a), "b\r\n");
    EXPECT_EQ(result.counters, (job::RunCounters{3, 1, 2, 1, 0}));
    EXPECT_EQ(rec.results, std::vector<std::string>{PathText(a)});
    EXPECT_EQ(rec.summaries.back(), "替换规则1条,共涉及文件3个,符合替换条件的1个,成功替换1个,失败0个,文件不存在2个");
}

TEST_F(JobRun, FolderEntriesAreScannedOncePerMaskInMaskOrder) {
    put("a.txt", "a");
    put("b.c", "a");
    put("c.txt", "a");
    put("d.htm", "a");
    put("sub/e.txt", "a");
    const fs::path listed = put("other/f.dat", "a"); // a listed file is handled whatever its extension
    options.selectedTypes = "*.txt;\"*.c\" *.dat;";  // blanks split masks; the trailing ';' adds nothing
    request.targets.push_back(FolderTarget(dir.path()));
    target(listed);
    options.backup = false;
    rule("a", "b");

    run();

    const std::string folder = dir.folder();
    EXPECT_EQ(rec.results,
              (std::vector<std::string>{folder + "a.txt", folder + "c.txt", folder + "b.c", PathText(listed)}));
    EXPECT_EQ(ReadBytes(dir / "d.htm"), "a");
    EXPECT_EQ(ReadBytes(dir / "sub/e.txt"), "a");

    rec = Recorder();
    options.subfolders = true;
    options.selectedTypes = "";
    rule("b", "c");
    run();
    EXPECT_EQ(rec.results, std::vector<std::string>{PathText(listed)}); // no mask: only the listed file

    rec = Recorder();
    options.selectedTypes = "*.txt";
    run();
    EXPECT_EQ(rec.collected, std::vector<std::size_t>{4}); // a.txt, c.txt, sub/e.txt, the listed file
    EXPECT_EQ(ReadBytes(dir / "sub/e.txt"), "a");          // reached through the subfolder, but holds no "b"
}

TEST_F(JobRun, OptionsAreReadLiveForTheFilesThatFollow) {
    std::vector<fs::path> files;
    for (int i = 0; i < 3; ++i) {
        files.push_back(put("f" + std::to_string(i) + ".txt", "A\r\n"));
        target(files.back());
    }
    rule("a", "b");
    rec.onProgress = [&](unsigned percent) {
        if (percent == 66) {
            options.ignoreCase = true; // as the window's configuration OK would, between two files
        }
    };

    run();

    EXPECT_EQ(ReadBytes(files[0]), "A\r\n");
    EXPECT_EQ(ReadBytes(files[1]), "b\r\n");
    EXPECT_EQ(ReadBytes(files[2]), "b\r\n");
}

TEST_F(JobRun, TheSearchHitsAreTheFilesWhenAsked) {
    const fs::path a = put("a.txt", "a\r\n");
    const fs::path b = put("b.txt", "a\r\n");
    target(a);
    request.useSearchHits = true;
    request.searchHits = {FileTarget(b), FileTarget(a, false)};
    rule("a", "b");

    run();
    EXPECT_EQ(rec.results, std::vector<std::string>{PathText(b)});
    EXPECT_EQ(ReadBytes(a), "a\r\n");

    rec = Recorder();
    request.searchHits = {FileTarget(b, false)};
    const job::RunResult none = run();
    EXPECT_EQ(none.counters, job::RunCounters{});
    EXPECT_TRUE(rec.percents.empty());
}

// A run with "*.*" over a project rewrote ".git/config" with CR LF line ends: version-control folders
// and excluded names are neither collected, counted nor touched, in every mode.
TEST_F(JobRun, ExcludedNamesAreNeitherCollectedNorTouchedInAnyMode) {
    const std::vector<std::string> skipped = {".git/config",  ".svn/a.txt",       "sub/.hg/b.txt",
                                              ".bzr/c.txt",   "_darcs/d.txt",     "CVS/Entries",
                                              "vendor/v.txt", "sub/vendor/w.txt", "lib.min.js"};
    for (const std::string& name : skipped) {
        put("proj/" + name, "x<a>1</a>\n");
    }
    const fs::path keep = put("proj/keep.txt", "x<a>1</a>\n");
    const fs::path keepDeep = put("proj/sub/keep.js", "x<a>1</a>\n");
    const fs::path out = dir / "out";
    fs::create_directory(out);
    request.targets.push_back(FolderTarget(dir / "proj"));
    options.selectedTypes = "*.txt;*.js;config;Entries";
    options.subfolders = true;
    options.excludeMasks = "vendor;*.MIN.js";
    rule("1", "2");
    request.rules.texts.featureStart = request.rules.texts.extractStart = "<a>";
    request.rules.texts.featureEnd = request.rules.texts.extractEnd = "</a>";
    request.rules.texts.featureReplacement = "c";

    struct Mode {
        ReplaceMode mode;
        bool dryRun;
        bool toFolder;
    };
    // The output folder keeps the sources as they are for the next mode; the last run writes in place.
    for (const Mode mode : {Mode{ReplaceMode::Normal, true, false}, Mode{ReplaceMode::Feature, true, false},
                            Mode{ReplaceMode::Normal, false, true}, Mode{ReplaceMode::Feature, false, true},
                            Mode{ReplaceMode::Extract, false, true}, Mode{ReplaceMode::Normal, false, false}}) {
        rec = Recorder();
        options.mode = mode.mode;
        request.dryRun = mode.dryRun;
        options.outputToFolder = mode.toFolder;
        options.outputFolder = mode.toFolder ? out.string() + "/" : "";
        const job::RunResult result = run();
        EXPECT_EQ(rec.collected, std::vector<std::size_t>{2}) << static_cast<int>(mode.mode);
        EXPECT_EQ(result.counters.collected, 2U);
        EXPECT_EQ(rec.results.size(), 2U);
        for (const std::string& name : skipped) {
            EXPECT_EQ(ReadBytes(dir / "proj" / name), "x<a>1</a>\n") << name;
            EXPECT_FALSE(fs::exists(dir / "proj" / (name + ".bak"))) << name;
        }
    }
    EXPECT_EQ(ReadBytes(keep), "x<a>2</a>\r\n");
    EXPECT_EQ(ReadBytes(keepDeep), "x<a>2</a>\r\n");

    // Turned off, the version-control folders are files like any other; a listed file is never excluded.
    rec = Recorder();
    options.defaultExcludes = false;
    target(dir / "proj/lib.min.js");
    run();
    EXPECT_EQ(rec.collected, std::vector<std::size_t>{9});
    EXPECT_EQ(ReadBytes(dir / "proj/.git/config"), "x<a>2</a>\r\n");
    EXPECT_EQ(ReadBytes(dir / "proj/lib.min.js"), "x<a>2</a>\r\n");
    EXPECT_EQ(ReadBytes(dir / "proj/vendor/v.txt"), "x<a>1</a>\n");
}

// Collected once for all masks, each file still comes once, at its first place: overlapping masks, a
// hard link in another folder, a link and its target, a file target named again by a folder.
TEST_F(JobRun, OneFileReachedManyWaysIsCollectedOnceAtItsFirstPlace) {
    const fs::path a = put("t/b/a.txt", "a");
    fs::create_directory(dir / "t/a");
    fs::create_hard_link(a, dir / "t/a/hard.c");
    fs::create_symlink(a, dir / "t/link.c");
    const fs::path c = put("t/c.cpp", "a");
    target(c);
    request.targets.push_back(FolderTarget(dir / "t"));
    options.selectedTypes = "*.c;*.*;*.txt";
    options.subfolders = true;
    options.backup = false;
    rule("a", "aa");

    run();

    const std::string t = (dir / "t").string() + "/";
    EXPECT_EQ(rec.results, (std::vector<std::string>{PathText(c), t + "link.c"}));
    // The folders "a" and "b" are collected by "*.*" (and counted missing), as ever.
    EXPECT_EQ(rec.collected, std::vector<std::size_t>{4});
    EXPECT_EQ(ReadBytes(a), "aa\r\n"); // the rules applied once, through the link
}

} // namespace
} // namespace norvik::test
