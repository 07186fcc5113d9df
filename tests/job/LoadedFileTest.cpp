// Loading a file in chunks must give what reading it whole gives, and a run gives the same whatever it
// holds prepared ahead of the file it commits.
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

#include "JobTestSupport.h"
#include "TestSupport.h"
#include "filedeal/FileOps.h"
#include "job/LoadedFile.h"

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

TEST(LoadFile, JudgedInChunksGivesWhatTheWholeBytesGive) {
    constexpr std::size_t kChunk = std::size_t{256} << 10;
    TempDir dir;
    const std::string needle = "Nvk" + Bytes("D6D0") + "42"; // "Nvk中42"
    const std::string filler = "the quick " + Bytes("CEC4D7D6") + " fox\n";
    const filedeal::RawTextFilter search({needle}, filedeal::RawTextFilter::Place::Anywhere, false);
    const filedeal::RawTextFilter replace({needle, "zz"}, filedeal::RawTextFilter::Place::CharacterStart, true);
    job::LoadPolicy searchPolicy{true, false, &search, true, false, false};
    job::LoadPolicy runPolicy{false, true, &replace, false, false, false};
    // A run may leave a Unicode file undecoded until it needs the text.
    job::LoadPolicy undecodedPolicy{false, true, &replace, false, true};
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
                LoadedFile whole = job::ReadUndecoded(path);
                job::DecodeLoaded(whole, runPolicy);
                for (const job::LoadPolicy& policy : {runPolicy, undecodedPolicy}) {
                    LoadedFile loaded = job::LoadFile(path, policy);
                    job::FinishDecoding(loaded, runPolicy);
                    ExpectSame(loaded, whole, path);
                    EXPECT_EQ(loaded.verdict, whole.verdict) << path;
                    EXPECT_EQ(loaded.binary, whole.binary) << path;
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
        for (const job::LoadPolicy& policy : {job::LoadPolicy{}, job::LoadPolicy{true, false, &filter, true}}) {
            EXPECT_EQ(job::LoadFile(PathText(dir / name), policy).state, LoadedFile::State::Missing) << name;
        }
    }
}

TEST(JobPrepareAhead, GivesTheSameRunAsReadingEachFileOnItsTurn) {
    // Files the run itself writes or creates before their turn: a backup that is also a target (it
    // did not exist when the list was made), duplicates (handled once).
    auto scenario = [](std::size_t budget) {
        TempDir dir;
        settings::ReplaceOptions options;
        job::JobEngine engine(options);
        engine.setPrepareBudget(budget);
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
    EXPECT_EQ(scenario(job::JobEngine::kDefaultPrepareBudget), onTheSpot);
    EXPECT_EQ(scenario(1), onTheSpot); // a budget smaller than any file
}

} // namespace
} // namespace norvik::test
