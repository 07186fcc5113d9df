// Reading the work list ahead on a second thread must hand out exactly what reading on the spot would.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "JobTestSupport.h"
#include "TestSupport.h"
#include "filedeal/FileOps.h"
#include "job/LoadedFile.h"
#include "job/ReadAhead.h"

namespace norvik::test {
namespace {

namespace fs = std::filesystem;
using job::LoadedFile;

void ExpectSame(const LoadedFile& got, const LoadedFile& want, const std::string& path) {
    EXPECT_EQ(got.state, want.state) << path;
    EXPECT_EQ(got.kind, want.kind) << path;
    EXPECT_EQ(got.bytes, want.bytes) << path;
    EXPECT_EQ(got.text, want.text) << path;
    EXPECT_EQ(got.exact, want.exact) << path;
    EXPECT_EQ(got.beyondCodePage, want.beyondCodePage) << path;
}

/// Gives the worker time to read ahead; the assertions hold whether or not it did.
void LetTheWorkerRun() {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

TEST(ReadAhead, HandsOutWhatAReadOnTheSpotGivesInOrder) {
    TempDir dir;
    WriteBytes(dir / "ansi.txt", "a\nb");
    WriteBytes(dir / "wide.txt", Bytes("FFFE 2D4E 0D00 0A00"));
    WriteBytes(dir / "utf8.txt", Bytes("E4B8AD 0A"));
    WriteBytes(dir / "emoji.txt", Bytes("EFBBBF F09F9880 0A"));
    WriteBytes(dir / "stray.txt", Bytes("EFBBBF 61 80"));
    std::vector<std::string> paths = {PathText(dir / "ansi.txt"),  PathText(dir / "wide.txt"),
                                      PathText(dir / "utf8.txt"),  PathText(dir / "ansi.txt"),
                                      PathText(dir / "gone.txt"),  dir.folder(),
                                      PathText(dir / "emoji.txt"), PathText(dir / "stray.txt")};
    for (const job::LoadPolicy policy : {job::LoadPolicy{false, true, true}, job::LoadPolicy{true, false, false},
                                         job::LoadPolicy{false, false, false}}) {
        job::ReadAhead ahead(paths, policy);
        LetTheWorkerRun();
        for (std::size_t i = 0; i < paths.size(); ++i) {
            ExpectSame(ahead.take(i), job::LoadFile(paths[i], policy), paths[i]);
        }
    }
    const LoadedFile wide = job::LoadFile(paths[1], {false, true});
    EXPECT_EQ(wide.bytes, Bytes("FFFE 2D4E 0D00 0A00"));         // kept for the round-trip check
    EXPECT_EQ(job::LoadFile(paths[0], {false, true}).bytes, ""); // an ANSI file needs only its text
    EXPECT_EQ(job::LoadFile(paths[0], {true, false}).text, "");  // ... or only its bytes
    EXPECT_EQ(job::LoadFile(paths[4], {}).state, LoadedFile::State::Missing);
    EXPECT_EQ(job::LoadFile(paths[5], {}).state, LoadedFile::State::Missing);
    const LoadedFile emoji = job::LoadFile(paths[6], {});
    EXPECT_TRUE(emoji.exact && emoji.beyondCodePage);
    EXPECT_EQ(emoji.text, Bytes("8B31FE32 0A"));
    EXPECT_EQ(job::LoadFile(paths[7], {}).state, LoadedFile::State::Undecodable);
}

TEST(ReadAhead, AFileChangedAfterItWasReadAheadIsReadAgain) {
    TempDir dir;
    const std::vector<std::string> names = {"renamed", "removed", "created", "inplace", "chmod", "backdated"};
    std::vector<std::string> paths;
    for (const std::string& name : names) {
        paths.push_back(PathText(dir / name));
        if (name != "created") {
            WriteBytes(paths.back(), "old " + name);
        }
    }
    const auto backdatedTime = fs::last_write_time(paths[5]);
    job::ReadAhead ahead(paths, {});
    LetTheWorkerRun();

    ASSERT_TRUE(filedeal::WriteFileAtomic(paths[0], "new renamed")); // what the job itself does
    fs::remove(paths[1]);
    WriteBytes(paths[2], "new created");
    WriteBytes(paths[3], "new inplace"); // same size, same inode: the times tell
    fs::last_write_time(paths[3], fs::last_write_time(paths[3]) + std::chrono::seconds(5));
    MakeReadOnly(paths[4]);
    WriteBytes(paths[5], "new backdated"); // same size, inode and modification time: the change time tells
    fs::last_write_time(paths[5], backdatedTime);

    EXPECT_EQ(ahead.take(0).text, "new renamed\r\n");
    EXPECT_EQ(ahead.take(1).state, LoadedFile::State::Missing);
    EXPECT_EQ(ahead.take(2).text, "new created\r\n");
    EXPECT_EQ(ahead.take(3).text, "new inplace\r\n");
    EXPECT_EQ(ahead.take(4).text, "old chmod\r\n");
    EXPECT_EQ(ahead.take(5).text, "new backdated\r\n");
}

TEST(ReadAhead, ABudgetTooSmallForAFileOnlyMovesTheReadToItsTurn) {
    TempDir dir;
    std::vector<std::string> paths;
    for (int i = 0; i < 20; ++i) {
        paths.push_back(PathText(dir / ("f" + std::to_string(i))));
        WriteBytes(paths.back(), std::string(100 + i, 'x'));
    }
    job::ReadAhead ahead(paths, {true, false}, 150, 2);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        EXPECT_EQ(ahead.take(i).bytes.size(), 100 + i);
    }
}

TEST(ReadAhead, SkippingAheadAndGoingBackStillGiveTheRightFiles) {
    TempDir dir;
    std::vector<std::string> paths;
    for (int i = 0; i < 10; ++i) {
        paths.push_back(PathText(dir / ("f" + std::to_string(i))));
        WriteBytes(paths.back(), std::to_string(i));
    }
    job::ReadAhead ahead(paths, {true, false}, 1 << 20, 3);
    EXPECT_EQ(ahead.take(0).bytes, "0");
    EXPECT_EQ(ahead.take(7).bytes, "7");
    EXPECT_EQ(ahead.take(8).bytes, "8");
    EXPECT_EQ(ahead.take(2).bytes, "2");
    EXPECT_EQ(ahead.take(9).bytes, "9");
}

TEST(ReadAhead, GoingAwayEarlyStopsTheWorker) {
    TempDir dir;
    std::vector<std::string> paths(5000, PathText(dir / "f"));
    WriteBytes(paths[0], "x");
    {
        job::ReadAhead ahead(paths, {});
        EXPECT_EQ(ahead.take(0).text, "x\r\n");
    } // a stopped run: the destructor must not wait for the whole list
    SUCCEED();
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

} // namespace
} // namespace norvik::test
