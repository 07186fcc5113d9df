// Where a run takes its rules from: typed texts, a rule set, the list of its mode.
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

TEST_F(JobRun, ARuleFileThatHasGoneAbandonsTheRunBeforeAnyFile) {
    const fs::path a = put("a.txt", "a\r\n");
    target(a);
    options.multiple = true;
    request.rules.ruleFolder = dir.folder() + "MultiReplace/";
    request.rules.ruleSetName = "gone";

    const job::RunResult result = run();

    EXPECT_EQ(result.status, RunStatus::RuleFileFailed);
    EXPECT_NE(result.message.find(dir.folder() + "MultiReplace/gone.nrr"), std::string::npos);
    EXPECT_EQ(rec.collected, std::vector<std::size_t>{1}); // the lists were cleared
    EXPECT_TRUE(rec.summaries.empty());
    EXPECT_TRUE(rec.elapsedTexts.empty());
    EXPECT_TRUE(rec.percents.empty());
    EXPECT_EQ(ReadBytes(a), "a\r\n");
    EXPECT_TRUE(engine.ruleLists().normal.empty());
    EXPECT_FALSE(engine.isBusy());
}

TEST_F(JobRun, ARuleSetAppliesEveryLineInOrder) {
    const fs::path a = put("a.txt", "ab\r\n");
    target(a);
    options.multiple = true;
    request.rules.ruleFolder = dir.folder() + "MultiReplace/";
    request.rules.ruleSetName = "set";
    put("MultiReplace/set.nrr", "61;62\r\n62;63\r\n"); // a -> b, then b -> c

    const job::RunResult result = run();

    EXPECT_EQ(ReadBytes(a), "cc\r\n");
    EXPECT_EQ(result.ruleCount, 2u);
    EXPECT_EQ(rec.summaries.back().rfind("替换规则2条", 0), 0u);
}

TEST_F(JobRun, FeatureReplacementUsesTheFeatureList) {
    const fs::path a = put("a.txt", "x<b>1</b>y<b>2</b>\r\n");
    target(a);
    options.mode = ReplaceMode::Feature;
    request.rules.texts.featureStart = "<b>";
    request.rules.texts.featureEnd = "</b>";
    request.rules.texts.featureReplacement = "-";

    run();

    EXPECT_EQ(ReadBytes(a), "x-y-\r\n");
}

} // namespace
} // namespace norvik::test
