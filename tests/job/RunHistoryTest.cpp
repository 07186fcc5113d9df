// The run history: runs recorded as they write, undone in any order they allow, kept within limits,
// and every refusal with its reason.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "JobTestSupport.h"
#include "filedeal/FileOps.h"
#include "job/ByteDelta.h"
#include "job/ContentDigest.h"
#include "job/RunHistory.h"

namespace fs = std::filesystem;
using namespace norvik;
using norvik::test::ReadBytes;
using norvik::test::Recorder;
using norvik::test::WriteBytes;

namespace {

/// Every file under `root` (the history folder left out) with its bytes.
std::map<std::string, std::string> Tree(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string relative = entry.path().lexically_relative(root).string();
        if (entry.is_regular_file() && !relative.starts_with("history")) {
            files[relative] = ReadBytes(entry.path());
        }
    }
    return files;
}

class History : public norvik::test::JobRun {
protected:
    job::RunHistory history{(dir / "history").string()};

    /// One run over the folder "t" replacing `find` by `replacement`, recorded; the id of its entry.
    std::string recordedRun(const std::string& find, const std::string& replacement) {
        job::RunRecorder recorder(history);
        request = {};
        request.targets = {norvik::test::FolderTarget(dir / "t")};
        request.journal = &recorder;
        rule(find, replacement);
        rec = {};
        const job::RunResult result = run();
        EXPECT_EQ(result.status, job::RunStatus::Finished) << result.message;
        return recorder.id();
    }
    job::RestoreRunResult restore(const std::string& id) {
        rec = {};
        return engine.restoreRun(history, id, rec);
    }
};

} // namespace

TEST(ContentDigestTest, KnownDigests) {
    EXPECT_EQ(job::ContentDigest(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(job::ContentDigest("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the length no longer fits the first padded block.
    EXPECT_EQ(job::ContentDigest("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(job::ContentDigest(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    EXPECT_EQ(job::ContentDigest(std::string(64, 'a')),
              "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
    EXPECT_TRUE(job::IsContentDigest(job::ContentDigest(std::string(1000, '\0'))));
    EXPECT_FALSE(job::IsContentDigest("ABC"));
}

// The way back from new bytes to old: exact for any pair, short when a run changed a few places,
// and a damaged script is refused rather than followed outside the text.
TEST(ByteDeltaTest, GivesTheOldBytesBackAndIsShortForFewEdits) {
    std::mt19937 random(20261208);
    const auto text = [&](std::size_t size, std::string_view alphabet) {
        std::string out(size, ' ');
        for (char& c : out) {
            c = alphabet[random() % alphabet.size()];
        }
        return out;
    };
    const std::string words = "the quick brown fox jumps over the lazy dog ";
    for (int round = 0; round < 300; ++round) {
        // Few letters make repeats that look like places to go on from; all bytes make binary.
        const std::string before = round % 3 == 0   ? text(random() % 3000, "ab")
                                   : round % 3 == 1 ? text(random() % 3000, words)
                                                    : text(random() % 3000, std::string(256, '\0') + "xyz\r\n");
        std::string after = before;
        const int edits = static_cast<int>(random() % 6);
        for (int e = 0; e < edits; ++e) {
            const std::size_t at = after.empty() ? 0 : random() % after.size();
            after.replace(at, std::min<std::size_t>(random() % 12, after.size() - at), text(random() % 12, "XYZ"));
        }
        for (const std::string& newer : {after, text(random() % 500, words)}) {
            const std::string script = job::MakeByteDelta(before, newer);
            const auto back = job::ApplyByteDelta(script, newer, before.size());
            ASSERT_TRUE(back.has_value()) << round;
            ASSERT_EQ(*back, before) << round;
        }
    }
    // A large text with a few replacements costs a few steps, whatever its size.
    std::string large = text(4 << 20, words);
    std::string changed = large;
    for (const std::size_t at : {std::size_t{17}, std::size_t{1} << 20, std::size_t{3} << 20}) {
        changed.replace(at, 10, "NvkDone42");
    }
    const std::string script = job::MakeByteDelta(large, changed);
    EXPECT_LT(script.size(), 200u);
    EXPECT_EQ(job::ApplyByteDelta(script, changed, large.size()), large);
    // Damaged: a copy outside the text, a step cut short, an unknown step, the wrong length.
    EXPECT_FALSE(job::ApplyByteDelta("C\x05\x7f", "short", 127));
    EXPECT_FALSE(job::ApplyByteDelta("A\x09"
                                     "abc",
                                     "", 9));
    EXPECT_FALSE(job::ApplyByteDelta("Q", "text", 0));
    EXPECT_FALSE(job::ApplyByteDelta(script, changed, large.size() - 1));
    EXPECT_FALSE(job::ApplyByteDelta("C\x00\xff\xff\xff\xff\xff\xff\xff\xff\xff\x01", "text", 4));
}

// Two runs over the same files (the second cannot be undone by the backups, which hold the text
// before the first): undoing the newest and then the one before gives back the tree byte for byte,
// the backups the first run made included.
TEST_F(History, NewestThenOlderRestoreGivesBackTheTree) {
    options.subfolders = true;
    put("t/a.txt", "hello world\r\n");
    put("t/sub/b.txt", std::string("hello\0zero", 10) + "x"); // binary: never written
    put("t/c.txt", test::Bytes("FF FE 68 00 65 00 6C 00 6C 00 6F 00"));
    put("t/d.txt", "nothing to do\r\n");
    put("t/e.txt.bak", "an old backup of a file that is gone\r\n");
    const auto original = Tree(dir.path());
    const std::string first = recordedRun("hello", "bye");
    const auto afterFirst = Tree(dir.path());
    const std::string second = recordedRun("bye", "ciao");
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    EXPECT_EQ(ReadBytes(dir / "t" / "a.txt"), "ciao world\r\n");
    EXPECT_EQ(ReadBytes(dir / "t" / "a.txt.bak"), "hello world\r\n");

    const job::HistoryListing listing = history.list();
    ASSERT_EQ(listing.runs.size(), 2u);
    EXPECT_EQ(listing.runs[0].id, second); // newest first
    EXPECT_EQ(listing.runs[0].counters.successes, 2u);
    EXPECT_EQ(listing.runs[1].written, 4u); // two files and their new backups
    EXPECT_EQ(listing.runs[1].description.targets, std::vector<std::string>{(dir / "t").string() + "/"});
    EXPECT_TRUE(listing.problems.empty());
    EXPECT_EQ(job::HistoryLineText(listing.runs[0]).rfind(second + " ", 0), 0u);

    job::RestoreRunResult result = restore(second);
    EXPECT_EQ(result.restored, 2u);
    EXPECT_EQ(result.failed, 0u);
    EXPECT_EQ(Tree(dir.path()), afterFirst);
    result = restore(first);
    EXPECT_EQ(result.restored, 4u);
    EXPECT_TRUE(rec.failures.empty());
    EXPECT_EQ(Tree(dir.path()), original);
    // Again: every file already holds what it had before, and nothing is touched or refused.
    result = restore(first);
    EXPECT_EQ(result.restored, 0u);
    EXPECT_EQ(result.unchanged, 4u);
    EXPECT_EQ(result.failed, 0u);
}

// A file edited after the run, one removed and one made read-only are refused with their reasons and
// stay as they are; the others are put back.
TEST_F(History, FilesChangedSinceTheRunAreRefusedWithTheirReason) {
    put("t/edited.txt", "hello 1");
    put("t/gone.txt", "hello 2");
    put("t/locked.txt", "hello 3");
    put("t/fine.txt", "hello 4");
    const std::string id = recordedRun("hello", "bye");
    WriteBytes(dir / "t" / "edited.txt", "bye 1 and an edit");
    fs::remove(dir / "t" / "gone.txt");
    test::MakeReadOnly(dir / "t" / "locked.txt");
    const job::RestoreRunResult result = restore(id);
    EXPECT_EQ(result.restored, 2u); // fine.txt and its backup
    EXPECT_EQ(result.failed, 3u);
    std::map<std::string, job::FailureReason> reasons;
    for (const job::FileFailure& failure : rec.failures) {
        reasons[fs::path(failure.path).filename().string()] = failure.reason;
    }
    EXPECT_EQ(reasons["edited.txt"], job::FailureReason::ChangedSinceRun);
    EXPECT_EQ(reasons["gone.txt"], job::FailureReason::MissingSinceRun);
    EXPECT_EQ(reasons["locked.txt"], job::FailureReason::ReadOnly);
    EXPECT_EQ(ReadBytes(dir / "t" / "edited.txt"), "bye 1 and an edit");
    EXPECT_EQ(ReadBytes(dir / "t" / "locked.txt"), "bye 3\r\n");
    EXPECT_EQ(ReadBytes(dir / "t" / "fine.txt"), "hello 4");
    // The backup of a file that stays as it is stays too; that of a file put back is removed.
    EXPECT_EQ(ReadBytes(dir / "t" / "edited.txt.bak"), "hello 1");
    EXPECT_FALSE(fs::exists(dir / "t" / "fine.txt.bak"));
    EXPECT_EQ(rec.results,
              (std::vector<std::string>{(dir / "t" / "fine.txt").string(), (dir / "t" / "fine.txt.bak").string()}));
    EXPECT_FALSE(history.list().runs.front().undone); // only a restore that refused nothing marks it
    EXPECT_FALSE(job::FailureReasonText(job::FailureReason::ChangedSinceRun).empty());
}

// Outputs are files the run wrote: copies in an output folder and extraction files are removed by
// the undo, and an extraction file the user had comes back, its backup gone.
TEST_F(History, CopiesAndExtractionFilesAreUndone) {
    put("t/a.txt", "hello [x] world");
    put("t/b.txt", "hello [y] again");
    put("t/b.txt.extract.txt", "the user's notes");
    options.outputToFolder = true;
    options.outputFolder = (dir / "out").string() + "/";
    const auto original = Tree(dir.path());
    const std::string copies = recordedRun("hello", "bye");
    ASSERT_FALSE(copies.empty());
    EXPECT_EQ(ReadBytes(dir / "out" / "a.txt"), "bye [x] world\r\n");
    options.outputToFolder = false;
    options.mode = settings::ReplaceMode::Extract;
    request = {};
    request.targets = {test::FolderTarget(dir / "t")};
    request.rules.texts.extractStart = "[";
    request.rules.texts.extractEnd = "]";
    job::RunRecorder recorder(history);
    request.journal = &recorder;
    ASSERT_EQ(run().status, job::RunStatus::Finished);
    EXPECT_TRUE(fs::exists(dir / "t" / "b.txt.extract.txt.bak"));
    // The new extraction file and the backup of the user's removed, the user's put back.
    EXPECT_EQ(restore(recorder.id()).restored, 3u);
    EXPECT_EQ(restore(copies).restored, 4u); // two copies, two backups
    EXPECT_TRUE(rec.failures.empty());
    EXPECT_EQ(Tree(dir.path()), original);
}

// Runs of many files, one of them without syncs (its records go out before each placement, not with
// a sync): undone newest first in several batches, each restore that refused nothing marks its run.
// A file an output-folder run wrote twice (two sources of one name) is put back record by record.
TEST_F(History, ManyFilesAreUndoneInBatchesAndUndoneRunsAreMarked) {
    options.subfolders = true;
    for (int i = 0; i < 300; ++i) {
        put("t/d" + std::to_string(i % 7) + "/f" + std::to_string(i) + ".txt",
            (i % 3 == 0 ? "nothing " : "hello ") + std::string(static_cast<std::size_t>(i) * 37, 'x'));
    }
    put("t/d0/big.txt", "hello " + std::string(std::size_t{3} << 20, 'y')); // larger than a chunk
    put("t/d1/same.txt", "nothing one");
    put("t/d2/same.txt", "nothing two");
    const auto original = Tree(dir.path());
    const std::string first = recordedRun("hello", "bye");
    const auto afterFirst = Tree(dir.path());
    options.durableWrites = false;
    const std::string second = recordedRun("bye", "ciao");
    options.durableWrites = true;
    EXPECT_EQ(restore(second).restored, 201u);
    EXPECT_TRUE(rec.failures.empty());
    EXPECT_EQ(Tree(dir.path()), afterFirst);
    job::HistoryListing listing = history.list();
    ASSERT_EQ(listing.runs.size(), 2u);
    EXPECT_TRUE(listing.runs[0].undone);
    EXPECT_FALSE(listing.runs[1].undone);
    EXPECT_NE(job::HistoryLineText(listing.runs[0]).find(" undone"), std::string::npos);
    EXPECT_EQ(job::HistoryLineText(listing.runs[1]).find(" undone"), std::string::npos);
    EXPECT_EQ(restore(first).restored, 402u); // the files and their backups
    EXPECT_EQ(Tree(dir.path()), original);
    EXPECT_TRUE(history.list().runs[1].undone);

    options.outputToFolder = true;
    options.outputFolder = (dir / "out").string() + "/";
    const std::string copies = recordedRun("nothing", "something");
    EXPECT_EQ(ReadBytes(dir / "out" / "f0.txt"), "something \r\n");
    EXPECT_TRUE(ReadBytes(dir / "out" / "same.txt").starts_with("something t")); // written twice
    EXPECT_GT(restore(copies).restored, 0u);
    EXPECT_TRUE(rec.failures.empty());
    EXPECT_EQ(Tree(dir.path()), original);
    // The retention takes the marks with their entries.
    history = job::RunHistory((dir / "history").string(), {1, std::uint64_t{1} << 30});
    EXPECT_EQ(history.applyLimits(), 2u);
    std::size_t left = 0;
    for (const auto& entry : fs::directory_iterator(dir / "history")) {
        left += entry.path().extension() == ".undone" ? 1 : 0;
    }
    EXPECT_EQ(left, 1u);
}

// The record a worker makes ready is taken only while the file is still the one it read: an edit in
// between refuses it (ChangedSinceRead) and records nothing; an unchanged file is recorded and undone.
TEST_F(History, PreparedRecordsHoldOnlyWhileTheFileIsAsRead) {
    const fs::path edited = put("t/edited.txt", "old text");
    const fs::path kept = put("t/kept.txt", "old text, kept");
    filedeal::FileStamp editedStamp, keptStamp;
    ASSERT_TRUE(filedeal::StampOf(edited, editedStamp));
    ASSERT_TRUE(filedeal::StampOf(kept, keptStamp));
    job::RunRecorder recorder(history);
    ASSERT_EQ(recorder.prepare(), "");
    recorder.describe({});
    WriteBytes(edited, "an edit made after the read");
    EXPECT_EQ(recorder.recordBefore(edited.string(), editedStamp, job::PrepareBefore("old text", "new text")),
              job::FailureReason::ChangedSinceRead);
    EXPECT_EQ(recorder.recordBefore(kept.string(), keptStamp, job::PrepareBefore("old text, kept", "new text")),
              std::nullopt);
    ASSERT_TRUE(recorder.syncRecorded());
    WriteBytes(kept, "new text");
    recorder.recordWritten(kept.string());
    recorder.finish({}, false);
    const job::RestoreRunResult result = restore(recorder.id());
    EXPECT_EQ(result.restored, 1u);
    EXPECT_EQ(result.failed, 0u);
    EXPECT_EQ(ReadBytes(kept), "old text, kept");
    EXPECT_EQ(ReadBytes(edited), "an edit made after the read");
}

TEST_F(History, RetentionDropsTheOldest) {
    options.backup = false;
    put("t/a.txt", "0");
    std::vector<std::string> ids;
    history = job::RunHistory((dir / "history").string(), {3, std::uint64_t{1} << 30});
    for (int i = 0; i < 5; ++i) {
        ids.push_back(recordedRun(std::to_string(i), std::to_string(i + 1)));
    }
    job::HistoryListing listing = history.list();
    ASSERT_EQ(listing.runs.size(), 3u);
    EXPECT_EQ(listing.runs.back().id, ids[2]);
    EXPECT_EQ(restore(ids[0]).status, job::RestoreRunStatus::UnknownRun);
    EXPECT_FALSE(fs::exists(dir / "history" / (ids[0] + ".pack")));
    // A byte limit smaller than any run keeps the newest alone.
    history = job::RunHistory((dir / "history").string(), {50, 1});
    ids.push_back(recordedRun("5", "6"));
    listing = history.list();
    ASSERT_EQ(listing.runs.size(), 1u);
    EXPECT_EQ(listing.runs.front().id, ids.back());
}

// A history that cannot be written stops the run before it touches anything; a run without a journal
// and a dry run record nothing.
TEST_F(History, UnwritableHistoryStopsTheRunAndNothingIsRecordedWithoutOne) {
    put("t/a.txt", "hello");
    put("blocker", "a file where the history folder would be");
    history = job::RunHistory((dir / "blocker" / "history").string());
    job::RunRecorder recorder(history);
    request.targets = {test::FolderTarget(dir / "t")};
    request.journal = &recorder;
    rule("hello", "bye");
    const job::RunResult result = run();
    EXPECT_EQ(result.status, job::RunStatus::HistoryUnavailable);
    EXPECT_NE(result.message.find("blocker"), std::string::npos);
    EXPECT_EQ(ReadBytes(dir / "t" / "a.txt"), "hello");
    EXPECT_FALSE(fs::exists(dir / "t" / "a.txt.bak"));
    EXPECT_TRUE(rec.collected.empty());

    history = job::RunHistory((dir / "history").string());
    job::RunRecorder dry(history);
    request.journal = &dry;
    request.dryRun = true;
    EXPECT_EQ(run().status, job::RunStatus::Finished);
    request.journal = nullptr;
    request.dryRun = false;
    EXPECT_EQ(run().status, job::RunStatus::Finished);
    EXPECT_EQ(ReadBytes(dir / "t" / "a.txt"), "bye\r\n");
    EXPECT_TRUE(history.list().runs.empty());
}

// An entry of an earlier version keeps whole texts in its pack (a plain zstd frame, no way back):
// it still restores, and a frame whose text does not match its digest is refused.
TEST_F(History, EntriesKeepingWholeTextsStillRestore) {
    options.backup = false;
    put("t/a.txt", "hello old world");
    const std::string id = recordedRun("hello", "bye");
    const fs::path entry = dir / "history" / (id + ".entry");
    const fs::path pack = dir / "history" / (id + ".pack");
    std::string lines = ReadBytes(entry);
    const std::size_t ref = lines.find(":d ");
    ASSERT_NE(ref, std::string::npos);
    const std::size_t start = lines.rfind(' ', ref) + 1;
    // One raw block in a single-segment frame: magic, header, size, block header, the bytes.
    const std::string old = "hello old world";
    std::string frame("\x28\xB5\x2F\xFD\x20", 5);
    frame += static_cast<char>(old.size());
    const unsigned block = static_cast<unsigned>(old.size()) << 3 | 1U;
    frame += {static_cast<char>(block & 0xFF), static_cast<char>(block >> 8 & 0xFF), static_cast<char>(block >> 16)};
    frame += old;
    const std::string packBytes = ReadBytes(pack);
    lines.replace(start, ref + 2 - start,
                  job::ContentDigest(old) + ":" + std::to_string(packBytes.size()) + ":" +
                      std::to_string(frame.size()) + ":" + std::to_string(old.size()));
    WriteBytes(entry, lines);
    WriteBytes(pack, packBytes + frame);
    EXPECT_EQ(ReadBytes(dir / "t" / "a.txt"), "bye old world\r\n");
    job::RestoreRunResult result = restore(id);
    EXPECT_EQ(result.restored, 1u);
    EXPECT_EQ(ReadBytes(dir / "t" / "a.txt"), old);

    static_cast<void>(recordedRun("hello", "bye"));
    frame[frame.size() - 1] = 'D'; // the text no longer matches its digest
    WriteBytes(pack, packBytes + frame);
    result = restore(id);
    EXPECT_EQ(result.failed, 1u);
    ASSERT_EQ(rec.failures.size(), 1u);
    EXPECT_EQ(rec.failures.front().reason, job::FailureReason::HistoryDamaged);
}

// A damaged entry is named and left out of the list; restoring it touches nothing. A damaged pack
// refuses only the files whose old text it held.
TEST_F(History, DamagedEntriesAndPacksAreReportedAndSkipped) {
    options.backup = false;
    put("t/a.txt", "hello");
    const std::string good = recordedRun("hello", "bye");
    const std::string bad = recordedRun("bye", "ciao");
    const fs::path entry = dir / "history" / (bad + ".entry");
    WriteBytes(entry, ReadBytes(entry) + "B zz not-a-record\n");
    WriteBytes(dir / "history" / "garbage.entry", "not an entry at all\n");
    const job::HistoryListing listing = history.list();
    ASSERT_EQ(listing.runs.size(), 1u);
    EXPECT_EQ(listing.runs.front().id, good);
    EXPECT_EQ(listing.problems.size(), 2u);
    EXPECT_EQ(restore(bad).status, job::RestoreRunStatus::Damaged);
    EXPECT_EQ(restore("../t/a.txt").status, job::RestoreRunStatus::UnknownRun);
    EXPECT_EQ(ReadBytes(dir / "t" / "a.txt"), "ciao\r\n");

    WriteBytes(dir / "t" / "a.txt", "bye\r\n");
    WriteBytes(dir / "history" / (good + ".pack"), "scrambled");
    const job::RestoreRunResult result = restore(good);
    EXPECT_EQ(result.failed, 1u);
    ASSERT_EQ(rec.failures.size(), 1u);
    EXPECT_EQ(rec.failures.front().reason, job::FailureReason::HistoryDamaged);
    EXPECT_EQ(ReadBytes(dir / "t" / "a.txt"), "bye\r\n");
}
