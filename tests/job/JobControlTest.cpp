// Pause and stop during a run, and runs and searches that never nest.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <tuple>
#include <unistd.h>

#include "JobTestSupport.h"
#include "TestSupport.h"
#include "filedeal/FileOps.h"
#include "job/EngineRelay.h"
#include "job/JobEngine.h"
#include "job/JobTexts.h"

namespace norvik::test {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
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

// The window runs the engine on a thread of its own through EngineRelay; these run under
// ThreadSanitizer in CI.
using Relay = job::EngineRelay;
using Clock = std::chrono::steady_clock;

TEST_F(JobControl, OffItsThreadTheEngineReportsWhatItReportsInPlace) {
    for (int i = 10; i < 300; ++i) {
        files.push_back(put("f" + std::to_string(i) + ".txt", i % 7 == 0 ? "\x80\x81\0\xFF a"s : "a\r\n"s));
        target(files.back());
    }
    options.jobs = 2;
    const job::RunResult direct = run();
    const Recorder inPlace = rec;
    for (const fs::path& file : files) {
        WriteBytes(file, ReadBytes(file) == "b\r\n" ? "a\r\n" : ReadBytes(file));
    }
    Recorder relayed;
    Relay relay;
    job::RunResult result;
    const settings::ReplaceOptions front = options; // the front end's own, as the window's
    relay.start([&](job::JobObserver& observer) { result = engine.run(request, observer); }, Relay::Pace::Free);
    int pumps = 0;
    while (relay.pump(relayed, Clock::now() + std::chrono::milliseconds(1))) {
        ++pumps;
        // A front end hands its options over at every pump; the engine takes them at its next yield.
        relay.resume([this, copy = front] { options = copy; });
    }
    EXPECT_FALSE(relay.active());
    EXPECT_EQ(result.counters, direct.counters);
    EXPECT_EQ(relayed.collected, inPlace.collected);
    EXPECT_EQ(relayed.percents, inPlace.percents);
    EXPECT_EQ(relayed.changed, inPlace.changed);
    EXPECT_EQ(relayed.results, inPlace.results);
    EXPECT_EQ(relayed.errors, inPlace.errors);
    EXPECT_EQ(relayed.summaries, inPlace.summaries);
    EXPECT_EQ(relayed.elapsedTexts.size(), 1u);
    EXPECT_EQ(relayed.yields, 0u); // the engine's yields stay on its own thread
}

TEST_F(JobControl, InLockstepAnOptionChangedAtAPumpAppliesFromTheNextFile) {
    options.backup = false;
    options.durableWrites = false; // each result as its file is written, not a batch at a time
    Relay relay;
    Recorder relayed;
    relay.start([&](job::JobObserver& observer) { static_cast<void>(engine.run(request, observer)); },
                Relay::Pace::Lockstep);
    while (relay.pump(relayed, Clock::now())) {
        // Each pump comes at a yield of the engine, with the files before it written.
        if (relayed.results.size() == 5 && !options.backup) {
            relay.resume([this] { options.backup = true; });
        } else {
            relay.resume();
        }
    }
    ASSERT_EQ(written(), 10);
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(fs::exists(files[i].string() + ".bak"), i >= 5) << i;
    }
}

TEST_F(JobControl, AHeldEngineWritesNothingUntilReleasedAndAFailureOfTheWorkReachesTheFrontEnd) {
    Relay relay;
    Recorder relayed;
    relay.hold(true);
    relay.start([&](job::JobObserver& observer) { static_cast<void>(engine.run(request, observer)); },
                Relay::Pace::Free);
    relay.hold(true); // start() clears a hold of an earlier piece of work
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(relay.pump(relayed, Clock::now() + std::chrono::milliseconds(5)));
    }
    EXPECT_EQ(written(), 0);
    EXPECT_TRUE(relayed.results.empty());
    relay.hold(false);
    while (relay.pump(relayed, Clock::now() + std::chrono::milliseconds(5))) {
    }
    EXPECT_EQ(written(), 10);
    EXPECT_EQ(relayed.results.size(), 10u);

    relay.start(
        [](job::JobObserver& observer) {
            observer.resultLine("before");
            throw std::runtime_error("broken");
        },
        Relay::Pace::Free);
    Recorder last;
    EXPECT_THROW(while (relay.pump(last, Clock::now() + std::chrono::milliseconds(5))){}, std::runtime_error);
    EXPECT_EQ(last.results, std::vector<std::string>{"before"});
    EXPECT_FALSE(relay.active());
}

} // namespace
} // namespace norvik::test
