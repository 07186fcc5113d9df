// The search tab's core over temporary folders.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <tuple>
#include <unistd.h>

#include "JobTestSupport.h"
#include "TestSupport.h"
#include "filedeal/FileOps.h"
#include "filedeal/TextCodec.h"
#include "job/FileSearch.h"
#include "job/JobEngine.h"

namespace norvik::test {
namespace {

namespace fs = std::filesystem;
using job::SearchStatus;

class Search : public ::testing::Test {
protected:
    TempDir dir;
    settings::ReplaceOptions options;
    Recorder rec;
    std::vector<job::TargetEntry> targets;

    fs::path put(const std::string& name, std::string_view bytes) {
        const fs::path path = dir / name;
        WriteBytes(path, bytes);
        targets.push_back(FileTarget(path));
        return path;
    }
    job::SearchResult find(std::string_view text) { return job::FindFiles(targets, text, options, rec); }
};

TEST_F(Search, IsAlwaysCaseSensitive) {
    put("upper.txt", "HELLO world");
    const fs::path lower = put("lower.txt", "hello world");
    options.ignoreCase = true; // the job's case option does not reach the search

    const job::SearchResult result = find("hello");

    EXPECT_EQ(result.hits, std::vector<std::string>{PathText(lower)});
    EXPECT_EQ(rec.hits, result.hits);
    EXPECT_EQ(rec.summaries, std::vector<std::string>{"找到文件1个"});
}

TEST_F(Search, ASeveralLineTextMatchesAcrossTheLinesOfAnAnsiFile) {
    const fs::path ansi = put("ansi.txt", "ab\ncd\n"); // read with CR LF after every line
    put("utf8.txt", Bytes("E4B8AD 61 62 0A 63 64"));   // a Unicode file keeps its own LF
    const fs::path utf8Crlf = put("utf8crlf.txt", Bytes("E4B8AD 61 62 0D0A 63 64"));

    const job::SearchResult result = find("b\r\nc");

    EXPECT_EQ(result.hits, (std::vector<std::string>{PathText(ansi), PathText(utf8Crlf)}));
}

TEST_F(Search, MatchesTheWorkingTextOfEveryEncoding) {
    const fs::path gbk = put("gbk.txt", Bytes("D6D0 CEC4"));
    const fs::path utf16 = put("w.txt", Bytes("FFFE 2D4E 8765"));
    const fs::path utf8 = put("u.txt", Bytes("EFBBBF E4B8AD E69687"));
    put("other.txt", Bytes("BABA D7D6"));

    const job::SearchResult result = find(Bytes("D6D0 CEC4")); // 中文 as working text

    EXPECT_EQ(result.hits, (std::vector<std::string>{PathText(gbk), PathText(utf16), PathText(utf8)}));
}

// Characters beyond the code page never hide a file, and a digit of their codes in the working text
// is never found (Thai ko kai's code holds '2', the emoji's '1' and '2'); UTF-8 that does not decode
// is an error line, since it may hold the text.
TEST_F(Search, FilesWithCharactersBeyondTheCodePageAreFoundByTheirOwnCharactersOnly) {
    const fs::path utf8 = put("u8.txt", "foo " + Bytes("F09F9880 0A"));
    const fs::path marked = put("u8m.txt", Bytes("EFBBBF") + "foo " + Bytes("E0B881 F09F9880 0A"));
    const fs::path utf16 = put("u16.txt", Bytes("FFFE 6600 6F00 6F00 2000 3DD8 00DE 010E 0A00"));
    const fs::path two = put("two.txt", Bytes("EFBBBF E0B881") + "2");
    const fs::path stray = put("stray.txt", Bytes("EFBBBF") + "foo " + Bytes("80"));

    EXPECT_EQ(find("foo").hits, (std::vector<std::string>{PathText(utf8), PathText(marked), PathText(utf16)}));
    EXPECT_EQ(rec.errors, std::vector<std::string>{PathText(stray) + " is Error!!!"});
    EXPECT_EQ(find("2").hits, std::vector<std::string>{PathText(two)});
    EXPECT_TRUE(find("1").hits.empty());
}

// A file that cannot be read may hold the text: it is named with its reason, never passed over in
// silence, and the search goes on. Missing paths are skipped.
TEST_F(Search, MissingFilesAreSkippedUnreadableOnesNamedAndTheSearchGoesOn) {
    targets.push_back(FileTarget(dir / "gone.txt"));
    targets.push_back({dir.folder() + "gone/", true});
    std::string unreadable = "/proc/self/mem"; // exists, but cannot be read, even by the administrator
    if (::geteuid() == 0) {
        targets.push_back(FileTarget(unreadable));
    } else {
        const fs::path locked = put("locked.txt", "needle");
        fs::permissions(locked, fs::perms::none);
        unreadable = PathText(locked);
    }
    const fs::path found = put("found.txt", "a needle");

    const job::SearchResult result = find("needle");

    EXPECT_EQ(result.status, SearchStatus::Finished);
    EXPECT_EQ(result.hits, std::vector<std::string>{PathText(found)});
    EXPECT_EQ(result.failures, 1u);
    ASSERT_EQ(rec.failures.size(), 1u);
    EXPECT_EQ(rec.failures[0].path, unreadable);
    EXPECT_EQ(rec.failures[0].reason, job::FailureReason::Unreadable);
}

// Files are searched on several workers, each read in chunks as far as its answer needs: the hits and
// error lines, and their order, are those of one worker for any count. Large files put the text
// across a chunk's end, in every encoding, and past it (where a file that reads as UTF-8 turns out
// to be ANSI, or UTF-8 that does not decode).
TEST_F(Search, GivesTheSameAnswerInTheSameOrderForAnyWorkerCount) {
    const std::string big(300000, 'w');
    const std::string hit = "NvkToken42";
    std::mt19937 rng(99);
    for (int i = 0; i < 60; ++i) {
        const std::string name = "f" + std::to_string(i) + ".txt";
        std::string text = std::string(rng() % 3 == 0 ? big.substr(0, 262144 - 5 * (i % 4)) : "ab ") +
                           (i % 2 == 0 ? hit : "NvkToken4") + " " + Bytes("D6D0");
        switch (i % 5) {
        case 0:
            put(name, text);
            break;
        case 1:
            put(name, EncodeText(text, filedeal::EncodingKind::Utf16Le).bytes);
            break;
        case 2:
            put(name, EncodeText(text, filedeal::EncodingKind::Utf8Bom).bytes + (i % 3 == 0 ? Bytes("80") : ""));
            break;
        case 3:
            put(name, EncodeText(text, filedeal::EncodingKind::Utf8).bytes + (i % 4 == 3 ? Bytes("F4908080") : ""));
            break;
        default:
            put(name, EncodeText(text, filedeal::EncodingKind::Utf8).bytes + Bytes("B0A1")); // ANSI in the end
            break;
        }
    }
    targets.push_back(FileTarget(dir / "gone.txt"));
    const auto searchWith = [&](unsigned jobs) {
        options.jobs = jobs;
        rec = Recorder();
        const job::SearchResult result = find(hit);
        return std::tuple(result.hits, result.failures, rec.errors, rec.hits);
    };
    const auto one = searchWith(1);
    EXPECT_EQ(std::get<0>(one).size(), 28u); // every second file, less two marked ones with a stray byte
    EXPECT_EQ(std::get<1>(one), 7u);         // the marked files with a stray byte, the UTF-8 past U+10FFFF
    EXPECT_EQ(searchWith(2), one);
    EXPECT_EQ(searchWith(8), one);
    EXPECT_EQ(searchWith(0), one);
}

TEST_F(Search, ReportsProgressCountAndTimeAndYieldsBeforeEveryFile) {
    put("a.txt", "x");
    put("b.txt", "x");
    put("c.txt", "y");

    find("x");

    EXPECT_EQ(rec.collected, std::vector<std::size_t>{3});
    EXPECT_EQ(rec.percents, (std::vector<unsigned>{33, 66, 100}));
    EXPECT_EQ(rec.summaries, std::vector<std::string>{"找到文件2个"});
    ASSERT_EQ(rec.elapsedTexts.size(), 1u);
    EXPECT_EQ(rec.elapsedTexts[0].rfind("耗时", 0), 0u);
    EXPECT_GE(rec.yields, 3u);
}

TEST_F(Search, CollectsTheTargetsAsTheJobDoes) {
    WriteBytes(dir / "a.txt", "x");
    WriteBytes(dir / "b.htm", "x");
    WriteBytes(dir / "c.dat", "x");
    const fs::path listed = put("d.dat", "x");
    targets.insert(targets.begin(), FolderTarget(dir.path()));
    targets.push_back(FileTarget(dir / "c.dat", false));
    options.selectedTypes = "*.htm;*.txt";

    const job::SearchResult result = find("x");

    const std::string folder = dir.folder();
    EXPECT_EQ(result.hits, (std::vector<std::string>{folder + "b.htm", folder + "a.txt", PathText(listed)}));

    // Excluded names and version-control folders are not searched, nor counted.
    fs::create_directories(dir / ".git");
    fs::create_directories(dir / "vendor");
    WriteBytes(dir / ".git/HEAD.txt", "x");
    WriteBytes(dir / "vendor/v.txt", "x");
    options.subfolders = true;
    options.excludeMasks = "vendor;b.*";
    rec = Recorder();
    EXPECT_EQ(find("x").hits, (std::vector<std::string>{folder + "a.txt", PathText(listed)}));
    EXPECT_EQ(rec.collected, std::vector<std::size_t>{2});
    options.defaultExcludes = false;
    EXPECT_EQ(find("x").hits, (std::vector<std::string>{folder + "a.txt", folder + ".git/HEAD.txt", PathText(listed)}));
}

TEST_F(Search, AnEmptyTextDoesNothingAndNoTargetFindsNothing) {
    put("a.txt", "x");
    EXPECT_EQ(find("").status, SearchStatus::NothingToFind);
    EXPECT_TRUE(rec.collected.empty());
    EXPECT_TRUE(rec.summaries.empty());
    EXPECT_TRUE(rec.elapsedTexts.empty());

    targets[0].checked = false;
    const job::SearchResult result = find("x");
    EXPECT_TRUE(result.hits.empty());
    EXPECT_EQ(rec.summaries, std::vector<std::string>{"找到文件0个"});
}

TEST_F(Search, ThroughTheEngineACloseEndsItAndPauseDoesNot) {
    for (int i = 0; i < 5; ++i) {
        put("f" + std::to_string(i) + ".txt", "x");
    }
    job::JobEngine engine(options);
    rec.onProgress = [&](unsigned percent) {
        engine.togglePause(); // no effect: a search is never "running"
        if (percent == 40) {
            engine.requestStop(); // the window closes
        }
    };

    const job::SearchResult result = engine.search(targets, "x", rec);

    EXPECT_EQ(result.status, SearchStatus::Stopped);
    EXPECT_EQ(result.hits.size(), 2u);
    EXPECT_FALSE(engine.flags().paused);
    EXPECT_FALSE(engine.isBusy());
    EXPECT_EQ(engine.search(targets, "", rec).status, SearchStatus::NothingToFind);
    rec.onProgress = nullptr;
    EXPECT_EQ(engine.search(targets, "x", rec).hits.size(), 5u); // the next search starts afresh
}

} // namespace
} // namespace norvik::test
