// Feature extraction: spans written to a file of their own beside the source or in the output folder.
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

class Extraction : public JobRun {
protected:
    void SetUp() override {
        options.mode = ReplaceMode::Extract;
        request.rules.texts.extractStart = "<a>";
        request.rules.texts.extractEnd = "</a>";
    }
};

TEST_F(Extraction, SpansGoToAFileOfTheirOwnInTheSourceEncoding) {
    const fs::path ansi = put("a.txt", "x<a>1</a>y<a>2</a>\r\n");
    const std::string wide = Bytes("FFFE 3C00 6100 3E00 2D4E 3C00 2F00 6100 3E00 0D00 0A00"); // <a>中</a>
    const fs::path utf16 = put("w.txt", wide);
    const fs::path none = put("none.txt", "no spans\r\n");
    const fs::path emoji = put("e.txt", "x<a>" + Bytes("F09F9880 ED959C") + "</a>"); // beyond the code page
    const auto ansiTime = AgeFile(ansi);
    target(ansi);
    target(utf16);
    target(none);
    target(emoji);

    const job::RunResult result = run();

    EXPECT_EQ(ReadBytes(PathText(ansi) + ".extract.txt"), "<a>1</a>\r\n<a>2</a>\r\n");
    EXPECT_EQ(ReadBytes(PathText(utf16) + ".extract.txt"),
              Bytes("FFFE 3C00 6100 3E00 2D4E 3C00 2F00 6100 3E00 0D00 0A00"));
    EXPECT_FALSE(fs::exists(PathText(none) + ".extract.txt"));
    EXPECT_EQ(ReadBytes(PathText(emoji) + ".extract.txt"), "<a>" + Bytes("F09F9880 ED959C") + "</a>\r\n");
    EXPECT_EQ(ReadBytes(ansi), "x<a>1</a>y<a>2</a>\r\n");
    EXPECT_EQ(fs::last_write_time(ansi), ansiTime);
    EXPECT_FALSE(fs::exists(dir / "a.txt.bak"));
    EXPECT_EQ(rec.results, (std::vector<std::string>{PathText(ansi) + ".extract.txt", PathText(utf16) + ".extract.txt",
                                                     PathText(emoji) + ".extract.txt"}));
    EXPECT_EQ(result.counters, (job::RunCounters{4, 3, 0, 3, 0}));
    EXPECT_EQ(result.ruleCount, 1u);
}

TEST_F(Extraction, GoesToTheOutputFolderAndLeavesTheOtherListsAlone) {
    const fs::path a = put("src/a.txt", "<a>1</a>\r\n");
    target(a);
    options.outputToFolder = true;
    options.outputFolder = dir.folder() + "out/";

    options.mode = ReplaceMode::Normal;
    rule("zzz", "y");
    run();
    ASSERT_EQ(engine.ruleLists().normal.size(), 1u);

    options.mode = ReplaceMode::Extract;
    rec = Recorder();
    run();

    EXPECT_EQ(rec.results, std::vector<std::string>{options.outputFolder + "a.txt.extract.txt"});
    EXPECT_EQ(ReadBytes(options.outputFolder + "a.txt.extract.txt"), "<a>1</a>\r\n");
    EXPECT_EQ(engine.ruleLists().normal.size(), 1u);
    EXPECT_TRUE(engine.ruleLists().feature.empty());
}

TEST_F(Extraction, NoApplicableRuleWritesNothing) {
    const fs::path a = put("a.txt", "<a>1</a>\r\n");
    target(a);
    request.rules.texts.extractEnd.clear();

    const job::RunResult result = run();

    EXPECT_FALSE(fs::exists(PathText(a) + ".extract.txt"));
    EXPECT_EQ(result.counters, (job::RunCounters{1, 0, 0, 0, 0}));
    EXPECT_EQ(result.ruleCount, 0u);
}

} // namespace
} // namespace norvik::test
