// The batch job end to end on temporary folders: what is read, written, listed and counted.
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

// "中文" and "汉字" in each encoding.
const std::string kGbkOld = Bytes("D6D0 CEC4");
const std::string kGbkNew = Bytes("BABA D7D6");

class JobRun : public ::testing::Test {
protected:
    TempDir dir;
    settings::ReplaceOptions options;
    job::JobEngine engine{options};
    Recorder rec;
    job::JobRequest request;

    fs::path put(const std::string& name, std::string_view bytes) {
        const fs::path path = dir / name;
        fs::create_directories(path.parent_path());
        WriteBytes(path, bytes);
        return path;
    }
    void rule(std::string find, std::string replacement) {
        request.rules.texts.find = std::move(find);
        request.rules.texts.replacement = std::move(replacement);
    }
    void target(const fs::path& path) { request.targets.push_back(FileTarget(path)); }
    job::RunResult run() { return engine.run(request, rec); }
};

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

TEST_F(JobRun, AUnicodeFileThatCannotSurviveTheCodePageIsNeverRewritten) {
    // U+D55C has no place in the code page: writing the file back would turn it into '?'.
    const std::string utf8 = Bytes("61 20 ED959C 0D0A");
    const std::string utf16 = Bytes("FFFE 6100 2000 5CD5 0D00 0A00");
    const fs::path u8 = put("u8.txt", utf8);
    const fs::path u16 = put("u16.txt", utf16);
    target(u8);
    target(u16);
    rule("a", "b");

    const job::RunResult result = run();

    EXPECT_EQ(ReadBytes(u8), utf8);
    EXPECT_EQ(ReadBytes(u16), utf16);
    EXPECT_FALSE(fs::exists(dir / "u8.txt.bak"));
    EXPECT_FALSE(fs::exists(dir / "u16.txt.bak"));
    EXPECT_EQ(rec.errors, (std::vector<std::string>{PathText(u8) + " is Error!!!", PathText(u16) + " is Error!!!"}));
    EXPECT_EQ(result.counters, (job::RunCounters{2, 2, 0, 0, 2}));
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

TEST_F(JobRun, ADryRunChangesNothingAndForeseesTheFailures) {
    const fs::path a = put("a.txt", "a\r\n");
    const fs::path locked = put("locked.txt", "a\r\n");
    const fs::path wide = put("wide.txt", Bytes("EFBBBF 61 ED959C"));
    MakeReadOnly(locked);
    const auto time = AgeFile(a);
    target(a);
    target(locked);
    target(wide);
    request.dryRun = true;
    rule("a", "b");

    const job::RunResult inPlace = run();

    EXPECT_EQ(rec.results, std::vector<std::string>{PathText(a)});
    EXPECT_EQ(rec.errors,
              (std::vector<std::string>{PathText(locked) + " is Error!!!", PathText(wide) + " is Error!!!"}));
    EXPECT_EQ(inPlace.counters, (job::RunCounters{3, 3, 0, 1, 2}));
    EXPECT_EQ(ReadBytes(a), "a\r\n");
    EXPECT_EQ(fs::last_write_time(a), time);
    EXPECT_FALSE(fs::exists(dir / "a.txt.bak"));

    rec = Recorder();
    options.forceReadOnly = true;
    options.outputToFolder = true;
    options.outputFolder = dir.folder() + "out/"; // one level: the run would make it
    run();
    EXPECT_EQ(rec.results.size(), 2u); // the read-only source does not matter in output mode
    EXPECT_FALSE(fs::exists(options.outputFolder));
    EXPECT_TRUE(!OwnerWritable(locked));

    rec = Recorder();
    options.outputFolder = dir.folder() + "no/such/";
    run();
    EXPECT_TRUE(rec.results.empty());
    EXPECT_EQ(rec.errors.size(), 3u);
}

// The dry run is judged against the real run on a tree of every failure it must foresee: its result
// and error lines and its counts are the real run's, in each mode.
TEST(JobDryRun, ForeseesWhatTheRealRunMeets) {
    struct Mode {
        const char* name;
        ReplaceMode mode;
        bool toFolder;
        const char* folder; // under the temporary folder
    };
    const Mode modes[] = {{"in place", ReplaceMode::Normal, false, ""},
                          {"output folder to make", ReplaceMode::Normal, true, "out/"},
                          {"existing output folder", ReplaceMode::Normal, true, "out/"},
                          {"output folder that is a file", ReplaceMode::Normal, true, "plain"},
                          {"output folder in a missing folder", ReplaceMode::Normal, true, "no/such/"},
                          {"extraction", ReplaceMode::Extract, false, ""}};
    for (const Mode& m : modes) {
        SCOPED_TRACE(m.name);
        std::vector<std::tuple<std::vector<std::string>, std::vector<std::string>, job::RunCounters>> seen;
        for (const bool dry : {true, false}) {
            TempDir dir;
            auto put = [&](const std::string& name, std::string_view bytes) {
                fs::create_directories((dir / name).parent_path());
                WriteBytes(dir / name, bytes);
            };
            put("t/a.txt", "a<a>a</a>\r\n");
            put("t/locked.txt", "a<a>a</a>\r\n");
            MakeReadOnly(dir / "t/locked.txt");
            put("t/wide.txt", Bytes("EFBBBF 61 ED959C 3C613E 3C2F613E"));
            put("t/bin.txt", std::string("a<a>\0</a>\n", 11));
            put("t/taken.txt", "a<a>a</a>\r\n");
            fs::create_directories(dir / "t/taken.txt.bak");
            fs::create_directories(dir / "t/a.txt.extract.txt");
            put("t/dangling.txt", "a<a>a</a>\r\n");
            fs::create_symlink(dir / "nowhere", dir / "t/dangling.txt.bak");
            put("t/kept.txt", "a<a>a</a>\r\n");
            put("t/kept.txt.bak", "older");
            put("plain", "a file where a folder is wanted");
            put("out/locked.txt", "read-only in the output folder");
            MakeReadOnly(dir / "out/locked.txt");
            fs::create_hard_link(dir / "t/a.txt", dir / "t/twice.txt");     // one file reached twice
            fs::create_hard_link(dir / "t/kept.txt", dir / "out/kept.txt"); // a destination that is a source
            if (std::string(m.name) == "output folder to make") {
                fs::remove_all(dir / "out"); // made by the run itself
            }

            settings::ReplaceOptions options;
            options.mode = m.mode;
            options.outputToFolder = m.toFolder;
            options.outputFolder = dir.folder() + m.folder;
            job::JobEngine engine(options);
            job::JobRequest request;
            request.targets.push_back(FolderTarget(dir / "t"));
            request.rules.texts.find = "a";
            request.rules.texts.replacement = "b";
            request.rules.texts.extractStart = "<a>";
            request.rules.texts.extractEnd = "</a>";
            request.dryRun = dry;
            Recorder rec;
            const job::RunResult result = engine.run(request, rec);
            for (auto* lines : {&rec.results, &rec.errors}) {
                for (std::string& line : *lines) {
                    line = line.substr(dir.folder().size());
                }
            }
            seen.emplace_back(rec.results, rec.errors, result.counters);
        }
        EXPECT_EQ(std::get<0>(seen[0]), std::get<0>(seen[1])) << "result lines";
        EXPECT_EQ(std::get<1>(seen[0]), std::get<1>(seen[1])) << "error lines";
        EXPECT_EQ(std::get<2>(seen[0]), std::get<2>(seen[1])) << "counts";
        EXPECT_FALSE(std::get<1>(seen[1]).empty()); // the tree does hold failures
    }
}

TEST(JobReadAhead, GivesTheSameRunAsReadingEachFileOnItsTurn) {
    // Files the run itself writes or creates before their turn: a backup that is also a target (it
    // did not exist when the list was made), duplicates (handled once).
    auto scenario = [](std::size_t budget) {
        TempDir dir;
        settings::ReplaceOptions options;
        job::JobEngine engine(options);
        engine.setReadAheadBudget(budget);
        job::JobRequest request;
        request.rules.texts.find = "a";
        request.rules.texts.replacement = "ab";
        for (const char* name : {"x.txt", "y.txt", "z.txt"}) {
            WriteBytes(dir / name, "a\r\n");
        }
        for (const char* name : {"x.txt", "x.txt", "x.txt.bak", "y.txt", "x.txt", "z.txt", "y.txt.bak"}) {
            request.targets.push_back(FileTarget(dir / name));
        }
        Recorder rec;
        job::RunResult result = engine.run(request, rec);
        std::vector<std::string> seen = {ReadBytes(dir / "x.txt"), ReadBytes(dir / "x.txt.bak"),
                                         ReadBytes(dir / "y.txt.bak"), ReadBytes(dir / "z.txt")};
        for (std::string& line : rec.results) {
            line = line.substr(dir.folder().size());
        }
        return std::tuple(result.counters, rec.results, seen);
    };
    const auto onTheSpot = scenario(0);
    EXPECT_EQ(std::get<0>(onTheSpot), (job::RunCounters{5, 5, 0, 5, 0}));
    EXPECT_EQ(std::get<2>(onTheSpot)[0], "ab\r\n");
    EXPECT_EQ(std::get<2>(onTheSpot)[1], "ab\r\n"); // the backup, changed in its own turn
    EXPECT_EQ(scenario(job::ReadAhead::kDefaultBudget), onTheSpot);
    EXPECT_EQ(scenario(1), onTheSpot); // a budget smaller than any file
}

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
    const auto ansiTime = AgeFile(ansi);
    target(ansi);
    target(utf16);
    target(none);

    const job::RunResult result = run();

    EXPECT_EQ(ReadBytes(PathText(ansi) + ".extract.txt"), "<a>1</a>\r\n<a>2</a>\r\n");
    EXPECT_EQ(ReadBytes(PathText(utf16) + ".extract.txt"),
              Bytes("FFFE 3C00 6100 3E00 2D4E 3C00 2F00 6100 3E00 0D00 0A00"));
    EXPECT_FALSE(fs::exists(PathText(none) + ".extract.txt"));
    EXPECT_EQ(ReadBytes(ansi), "x<a>1</a>y<a>2</a>\r\n");
    EXPECT_EQ(fs::last_write_time(ansi), ansiTime);
    EXPECT_FALSE(fs::exists(dir / "a.txt.bak"));
    EXPECT_EQ(rec.results,
              (std::vector<std::string>{PathText(ansi) + ".extract.txt", PathText(utf16) + ".extract.txt"}));
    EXPECT_EQ(result.counters, (job::RunCounters{3, 2, 0, 2, 0}));
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
