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

} // namespace
} // namespace norvik::test
