// Pause and stop during a run, and runs and searches that never nest.
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

class JobControl : public JobRun {
protected:
    std::vector<fs::path> files;
    void SetUp() override {
        for (int i = 0; i < 10; ++i) {
            files.push_back(put("f" + std::to_string(i) + ".txt", "a\r\n"));
            target(files.back());
        }
        rule("a", "b");
    }
    int written() const {
        int count = 0;
        for (const fs::path& file : files) {
            count += ReadBytes(file) == "b\r\n" ? 1 : 0;
        }
        return count;
    }
};

TEST_F(JobControl, AStopDuringTheFourthFileFinishesItAndTouchesNoMore) {
    rec.onProgress = [&](unsigned percent) {
        if (percent == 40) {
            EXPECT_TRUE(engine.isRunning());
            engine.requestStop();
        }
    };

    const job::RunResult result = run();

    EXPECT_EQ(result.status, RunStatus::Stopped);
    EXPECT_EQ(written(), 4);
    EXPECT_EQ(ReadBytes(files[3]), "b\r\n");
    EXPECT_EQ(ReadBytes(files[4]), "a\r\n");
    EXPECT_EQ(rec.summaries, std::vector<std::string>{
                                 "替换规则1条,共涉及文件10个,符合替换条件的4个,成功替换4个,失败0个,文件不存在0个"});
    EXPECT_EQ(rec.elapsedTexts.size(), 1u);
    EXPECT_FALSE(engine.isRunning());

    // The next Start runs normally.
    rec = Recorder();
    const job::RunResult again = run();
    EXPECT_EQ(again.status, RunStatus::Finished);
    EXPECT_EQ(written(), 10);
    EXPECT_EQ(again.counters, (job::RunCounters{10, 6, 0, 6, 0}));
}

TEST_F(JobControl, PauseWaitsYieldingAndResumes) {
    int pausedYields = 0;
    rec.onProgress = [&](unsigned percent) {
        if (percent == 20) {
            engine.togglePause();
        }
    };
    rec.onYield = [&] {
        if (engine.flags().paused) {
            EXPECT_EQ(written(), 2); // the file in hand was finished, the next one waits
            if (++pausedYields == 3) {
                engine.togglePause();
            }
        }
    };

    const job::RunResult result = run();

    EXPECT_EQ(result.status, RunStatus::Finished);
    EXPECT_EQ(pausedYields, 3);
    EXPECT_EQ(written(), 10);
}

TEST_F(JobControl, AStopEndsAPauseAndNoFurtherFileIsTouched) {
    rec.onProgress = [&](unsigned percent) {
        if (percent == 20) {
            engine.togglePause();
        }
    };
    int pausedYields = 0;
    rec.onYield = [&] {
        if (engine.flags().paused && ++pausedYields == 2) {
            engine.requestStop(); // the window's confirmed Stop (or close) while paused
        }
    };

    const job::RunResult result = run();

    EXPECT_EQ(result.status, RunStatus::Stopped);
    EXPECT_EQ(written(), 2);
    EXPECT_EQ(result.counters, (job::RunCounters{10, 2, 0, 2, 0}));
    EXPECT_EQ(rec.summaries.size(), 1u);
    const job::RunFlags flags = engine.flags();
    EXPECT_FALSE(flags.running);
    EXPECT_FALSE(flags.paused);
}

TEST_F(JobControl, PauseAndStopDoNothingOutsideTheFileLoop) {
    engine.togglePause();
    engine.requestStop();
    EXPECT_FALSE(engine.flags().paused);
    EXPECT_FALSE(engine.flags().stopRequested);
    rec.onYield = [&] {
        if (!engine.isRunning()) {
            engine.togglePause(); // during the folder scan: not running yet
        }
    };
    request.targets.push_back(FolderTarget(dir.path()));
    EXPECT_EQ(run().status, RunStatus::Finished);
}

TEST_F(JobControl, AStopDuringCollectionEndsTheRunBeforeItsFirstFile) {
    request.targets.clear();
    request.targets.push_back(FolderTarget(dir.path()));
    request.targets.push_back(FolderTarget(dir.path()));
    rec.onYield = [&] {
        if (!engine.isRunning()) {
            engine.requestStop(); // closing the window while the targets are scanned
        }
    };

    const job::RunResult result = run();

    EXPECT_EQ(result.status, RunStatus::Stopped);
    EXPECT_EQ(written(), 0);
    EXPECT_LT(result.counters.collected, 20u); // the second folder was never scanned
    EXPECT_EQ(rec.summaries.size(), 1u);
}

TEST_F(JobControl, RunsAndSearchesNeverNest) {
    job::RunResult inner;
    job::SearchResult innerSearch;
    bool tried = false;
    rec.onProgress = [&](unsigned) {
        if (!tried) {
            tried = true;
            Recorder other;
            inner = engine.run(request, other);
            innerSearch = engine.search(request.targets, "a", other);
            EXPECT_TRUE(other.collected.empty());
        }
    };

    const job::RunResult outer = run();

    EXPECT_EQ(inner.status, RunStatus::Busy);
    EXPECT_EQ(innerSearch.status, job::SearchStatus::Busy);
    EXPECT_EQ(outer.status, RunStatus::Finished);
    EXPECT_EQ(written(), 10);
    EXPECT_FALSE(engine.isBusy());
}

} // namespace
} // namespace norvik::test
