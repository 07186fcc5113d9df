// Reading the work list ahead on a second thread must hand out exactly what reading on the spot would.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sys/stat.h>
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

// A file is read and judged in chunks (256 KiB) and held whole only when its verdict needs the text;
// what it gives must be what reading the whole bytes and judging them gives: every encoding, the
// text placed across the first chunk's end, and bytes after it that make the file ANSI, bring forms
// that must be decoded, or do not decode at all.
TEST(LoadFile, JudgedInChunksGivesWhatTheWholeBytesGive) {
    constexpr std::size_t kChunk = std::size_t{256} << 10;
    TempDir dir;
    const std::string needle = "Nvk" + Bytes("D6D0") + "42"; // "Nvk中42"
    const std::string filler = "the quick " + Bytes("CEC4D7D6") + " fox\n";
    const filedeal::RawTextFilter search({needle}, filedeal::RawTextFilter::Place::Anywhere, false);
    const filedeal::RawTextFilter replace({needle, "zz"}, filedeal::RawTextFilter::Place::CharacterStart, true);
    job::LoadPolicy searchPolicy{true, false, false, &search, true};
    job::LoadPolicy runPolicy{false, true, true, &replace, false};
    const std::string tails[] = {"", Bytes("80"), Bytes("E0A080"), Bytes("F4908080"), Bytes("00")};
    int files = 0;
    for (const filedeal::EncodingKind kind : {filedeal::EncodingKind::Ansi, filedeal::EncodingKind::Utf16Le,
                                              filedeal::EncodingKind::Utf8Bom, filedeal::EncodingKind::Utf8}) {
        const std::size_t mark = filedeal::EncodeText("", kind).bytes.size();
        const std::size_t fillerBytes = filedeal::EncodeText(filler, kind).bytes.size() - mark;
        const std::size_t unit = kind == filedeal::EncodingKind::Utf16Le ? 2 : 1;
        const std::size_t needleBytes = filedeal::EncodeText(needle, kind).bytes.size() - mark;
        std::string prefix;
        const std::size_t count = (kChunk - mark) / fillerBytes - 1;
        for (std::size_t i = 0; i < count; ++i) {
            prefix += filler;
        }
        const std::size_t gap = kChunk - mark - count * fillerBytes; // from the prefix's end to the chunk's end
        for (std::size_t before = 0; before <= needleBytes + 1; ++before) {
            // The needle's bytes start `before` bytes before the chunk's end (rounded to whole units).
            const std::string text = prefix + std::string((gap - before) / unit, 'x') + needle + " " + filler;
            for (const std::string& tail : tails) {
                const std::string bytes = filedeal::EncodeText(text, kind).bytes + tail +
                                          (before == 3 ? std::string(kChunk, 'y') : std::string());
                const std::string path = PathText(dir / ("f" + std::to_string(files++)));
                WriteBytes(path, bytes);
                for (const job::LoadPolicy& policy : {searchPolicy, runPolicy}) {
                    LoadedFile whole = job::ReadUndecoded(path);
                    job::DecodeLoaded(whole, policy);
                    const LoadedFile chunked = job::LoadFile(path, policy);
                    ExpectSame(chunked, whole, path);
                    EXPECT_EQ(chunked.verdict, whole.verdict) << path;
                    EXPECT_EQ(chunked.binary, whole.binary) << path;
                    EXPECT_TRUE(chunked.stamp.sameState(whole.stamp)) << path;
                }
            }
        }
    }
}

// Only a regular file is read: a FIFO opens without waiting for a writer and is no file, nor is a
// device or a folder; nothing there, or a link that dangles, is missing too.
TEST(LoadFile, SpecialFilesAreMissingAndNeverWaitedOn) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
    fs::create_symlink("/dev/zero", dir / "zero");
    fs::create_symlink(dir / "nowhere", dir / "dangling");
    const filedeal::RawTextFilter filter({"x"}, filedeal::RawTextFilter::Place::Anywhere, false);
    for (const char* name : {"pipe", "zero", "dangling", "gone", ""}) {
        for (const job::LoadPolicy& policy : {job::LoadPolicy{}, job::LoadPolicy{true, false, false, &filter, true}}) {
            EXPECT_EQ(job::LoadFile(PathText(dir / name), policy).state, LoadedFile::State::Missing) << name;
        }
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

} // namespace
} // namespace norvik::test
