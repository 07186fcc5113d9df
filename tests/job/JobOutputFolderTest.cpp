// Output-folder mode: changed files go to one folder, and a folder that cannot be made never turns
// into writing over the sources.
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

TEST_F(JobRun, OutputFolderModeWritesBesideNothingAndSameNamesOverwrite) {
    const fs::path first = put("one/same.txt", "a first\r\n");
    const fs::path second = put("two/same.txt", "a second\r\n");
    target(first);
    target(second);
    options.backup = false;
    options.outputToFolder = true;
    options.outputFolder = dir.folder() + "out/";
    rule("a", "b");

    const job::RunResult result = run();

    const std::string out = options.outputFolder + "same.txt";
    EXPECT_EQ(rec.results, (std::vector<std::string>{out, out}));
    EXPECT_EQ(rec.changed, (std::vector<std::string>{PathText(first), PathText(second)}));
    EXPECT_EQ(ReadBytes(out), "b second\r\n");
    EXPECT_EQ(ReadBytes(first), "a first\r\n");
    EXPECT_EQ(ReadBytes(second), "a second\r\n");
    EXPECT_EQ(result.counters, (job::RunCounters{2, 2, 0, 2, 0}));
}

TEST_F(JobRun, AnOutputFolderThatCannotBeMadeNeverTurnsIntoWritingOverTheSource) {
    const fs::path a = put("a.txt", "a\r\n");
    const fs::path b = put("b.txt", "a\r\n");
    target(a);
    target(b);
    options.backup = false;
    options.outputToFolder = true;
    options.outputFolder = dir.folder() + "no/such/"; // two levels: only one is ever made
    rule("a", "b");

    const job::RunResult result = run();

    EXPECT_EQ(ReadBytes(a), "a\r\n");
    EXPECT_EQ(ReadBytes(b), "a\r\n");
    EXPECT_EQ(rec.errors, (std::vector<std::string>{options.outputFolder + "a.txt is Error!!!",
                                                    options.outputFolder + "b.txt is Error!!!"}));
    EXPECT_TRUE(options.outputToFolder);
    EXPECT_EQ(options.outputFolder, dir.folder() + "no/such/");
    EXPECT_EQ(result.counters, (job::RunCounters{2, 2, 0, 0, 2}));
}

} // namespace
} // namespace norvik::test
