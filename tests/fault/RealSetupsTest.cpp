// Whole jobs of the real norvik-cli in setups where an earlier build lost or corrupted data while
// reporting success: an output folder among the sources, a file edited during its write, extraction
// over the user's file, backups taken as sources, one file reached twice, restore through links and
// of other users' files, permission bits of created files, set-ID bits, reading that deleted files,
// and a span end that cut a character in two. Each must keep every byte the user had, or report the
// file and leave it as it is.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FaultSupport.h"
#include "TestSupport.h"

using namespace norvik::faulttest;
using norvik::test::Bytes;
using norvik::test::ReadBytes;
using norvik::test::TempDir;
using norvik::test::WriteBytes;

namespace {

class RealSetup : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(m_src);
        fs::create_directories(m_io);
    }

    /// Replaces "a" with "ab" (an insertion: applied twice it would show).
    [[nodiscard]] CliRun insert(std::vector<std::string> extra, const Env& env = {}) const {
        std::vector<std::string> args = {"replace", "--no-progress", "--find", "a", "--replace", "ab"};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunCli(args, env, m_io, 60);
    }

    [[nodiscard]] static unsigned ModeOf(const fs::path& path) {
        struct stat st {};
        EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
        return st.st_mode & 07777;
    }

    /// Every file under `root` (its path below `root`) with its bytes.
    [[nodiscard]] static std::map<std::string, std::string> FilesUnder(const fs::path& root) {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (entry.is_regular_file()) {
                files[fs::relative(entry.path(), root).string()] = ReadBytes(entry.path());
            }
        }
        return files;
    }

    TempDir m_tmp;
    fs::path m_src = m_tmp / "src";
    fs::path m_io = m_tmp / "io";
};

} // namespace

// `--output src/sub src` wrote src/a.txt's result over src/sub/a.txt before it was read; `--output
// src src` and a link to src rewrote every source without a backup. Such a run does not start.
TEST_F(RealSetup, OutputFolderAmongTheSourcesNeverOverwritesOne) {
    fs::create_directories(m_src / "sub");
    WriteBytes(m_src / "a.txt", "a top\r\n");
    WriteBytes(m_src / "sub" / "a.txt", "a below\r\n");
    fs::create_directory_symlink(m_src, m_tmp / "link");
    const std::vector<fs::path> outputs = {m_src / "sub", m_src, m_tmp / "link", m_tmp / "link" / "new",
                                           m_src / "sub" / ".." / "sub"};
    for (const fs::path& output : outputs) {
        SCOPED_TRACE(output.string());
        const CliRun run = insert({"--output", output.string(), m_src.string()});
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_NE(run.err.find("替换没有开始"), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(ReadBytes(m_src / "a.txt"), "a top\r\n");
        EXPECT_EQ(ReadBytes(m_src / "sub" / "a.txt"), "a below\r\n");
        EXPECT_FALSE(fs::exists(m_src / "new"));
    }
    // Files named one by one, into a folder that leads back to them: a copy would land on a source.
    const CliRun run =
        insert({"--output", (m_tmp / "link").string(), (m_src / "a.txt").string(), (m_src / "sub" / "a.txt").string()});
    const JobOutput output = ParseJobOutput(run);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(output.errors, (std::vector<std::string>(2, (m_tmp / "link" / "a.txt").string())));
    EXPECT_EQ(ReadBytes(m_src / "a.txt"), "a top\r\n");
    EXPECT_EQ(ReadBytes(m_src / "sub" / "a.txt"), "a below\r\n");
}

// A file edited by another program between its read and its rename kept the text read before the
// edit. Now the edit stays, the file is reported, and a backup holds exactly what the run read.
TEST_F(RealSetup, AFileEditedDuringTheRunKeepsTheEdit) {
    const fs::path report = m_io / "report";
    struct Case {
        const char* op;
        const char* at;
        const char* match;
        bool backup;
        bool backupMade; ///< the edit came after the backup's copy
        bool history = true;
    };
    // mkstemp: the edit lands as the temporary of the write is made, right after the read and before
    // the backup, whose copy then sees the change; open_r 2: between the read and the backup's copy
    // (reading ahead is off, so the second open is the copy's; a run with history writes the backup
    // from the bytes it read and opens the file once); syncfs (the first, a descriptor has no path to
    // match): after the backup, while the batch is made durable, before the rename.
    const char* temporary = "/.a.txt.norvik-tmp-";
    for (const Case c : {Case{"mkstemp", "1", temporary, true, false}, Case{"mkstemp", "1", temporary, false, false},
                         Case{"open_r", "2", "/a.txt", true, false, false}, Case{"syncfs", "1", "", true, true},
                         Case{"syncfs", "1", "", false, false}}) {
        SCOPED_TRACE(std::string(c.op) + " " + c.at + (c.backup ? " with backup" : " without backup"));
        std::error_code ec;
        fs::remove(m_src / "a.txt.bak", ec);
        WriteBytes(m_src / "a.txt", "a\r\n");
        WriteBytes(m_src / "z.txt", "a\r\n");
        Env env = ShimEnv(m_src, report);
        env["NVK_FAULT_OP"] = c.op;
        env["NVK_FAULT_AT"] = c.at;
        env["NVK_FAULT_ACTION"] = "append";
        if (*c.match != '\0') {
            env["NVK_FAULT_MATCH"] = c.match;
        }
        env["NVK_FAULT_EDIT"] = (m_src / "a.txt").string();
        // One thread: the calls come in the order of the files, so the chosen call is the same each run.
        std::vector<std::string> args = {"--jobs", "1", m_src.string()};
        if (!c.backup) {
            args.insert(args.begin(), "--no-backup");
        }
        if (!c.history) {
            args.insert(args.begin(), "--no-history");
        }
        const CliRun run = insert(args, env);
        ASSERT_TRUE(ReadShimReport(report).fired);
        const JobOutput output = ParseJobOutput(run);
        EXPECT_EQ(run.exitCode, 1) << run.err;
        EXPECT_EQ(output.errors, std::vector<std::string>{(m_src / "a.txt").string()});
        EXPECT_EQ(output.written, std::vector<std::string>{(m_src / "z.txt").string()});
        EXPECT_EQ(ReadBytes(m_src / "a.txt"), "a\r\nedited\n");
        EXPECT_EQ(ReadBytes(m_src / "z.txt"), "ab\r\n");
        if (fs::exists(m_src / "a.txt.bak")) {
            EXPECT_EQ(ReadBytes(m_src / "a.txt.bak"), "a\r\n") << "the backup is not what the run read";
        }
        EXPECT_EQ(fs::exists(m_src / "a.txt.bak"), c.backupMade);
        EXPECT_TRUE(TemporariesUnder(m_src).empty());
    }
}

// Extraction over a "<name>.extract.txt" the user wrote destroyed it, then took it as a source too.
TEST_F(RealSetup, ExtractionKeepsTheUsersFileAndTakesNoResultAsSource) {
    WriteBytes(m_src / "a.txt", "x [one] y\r\n");
    WriteBytes(m_src / "a.txt.extract.txt", "mine [own]\r\n");
    const std::vector<std::string> args = {"extract", "--no-progress", "--start", "[", "--end", "]", m_src.string()};
    CliRun run = RunCli(args, {}, m_io, 60);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ParseJobOutput(run).written, std::vector<std::string>{(m_src / "a.txt.extract.txt").string()});
    EXPECT_EQ(ReadBytes(m_src / "a.txt.extract.txt"), "[one]\r\n");
    EXPECT_EQ(ReadBytes(m_src / "a.txt.extract.txt.bak"), "mine [own]\r\n");
    EXPECT_FALSE(fs::exists(m_src / "a.txt.extract.txt.extract.txt"));
    // The same extraction again changes nothing; a different one finds the backup name taken and
    // leaves the extraction file as it is.
    run = RunCli(args, {}, m_io, 60);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    WriteBytes(m_src / "a.txt", "x [two] y\r\n");
    run = RunCli(args, {}, m_io, 60);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(ParseJobOutput(run).errors, std::vector<std::string>{(m_src / "a.txt.extract.txt").string()});
    EXPECT_EQ(ReadBytes(m_src / "a.txt.extract.txt"), "[one]\r\n");
    EXPECT_EQ(ReadBytes(m_src / "a.txt.extract.txt.bak"), "mine [own]\r\n");
}

// A second run with "*.*" rewrote the first run's backups, so a restore put back the wrong text; and a
// file reached twice (a link and its target, two targets, overlapping masks) got its rules twice.
TEST_F(RealSetup, BackupsAreNoSourcesAndEachFileIsHandledOnce) {
    WriteBytes(m_src / "a.txt", "a\r\n");
    WriteBytes(m_src / "b.htm", "a\r\n");
    WriteBytes(m_src / "c.TXT", "a\r\n");
    WriteBytes(m_src / "ro.txt", "a\r\n");
    ::chmod((m_src / "ro.txt").c_str(), 0444);
    fs::create_symlink("a.txt", m_src / "link.txt");
    const std::string list = (m_io / "list").string();
    const std::vector<std::string> twice = {"--types", "*.txt;*.TXT;*.htm;*.html", m_src.string(), m_src.string(),
                                            (m_src / "a.txt").string()};
    std::vector<std::string> first = twice;
    first.insert(first.begin(), {"--result-list", list});
    CliRun run = insert(first);
    JobOutput output = ParseJobOutput(run);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(output.errors, std::vector<std::string>{(m_src / "ro.txt").string()}) << "one line per file";
    ASSERT_TRUE(output.summary);
    EXPECT_EQ(output.summary->collected, 4u);
    for (const char* name : {"a.txt", "b.htm", "c.TXT"}) {
        EXPECT_EQ(ReadBytes(m_src / name), "ab\r\n") << name;
        EXPECT_EQ(ReadBytes(m_src / (std::string(name) + ".bak")), "a\r\n") << name;
    }
    run = insert({"--types", "*.*", m_src.string()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(ReadBytes(m_src / "a.txt"), "abb\r\n");
    for (const char* name : {"a.txt.bak", "b.htm.bak", "c.TXT.bak"}) {
        EXPECT_EQ(ReadBytes(m_src / name), "a\r\n") << name;
        EXPECT_FALSE(fs::exists(m_src / (std::string(name) + ".bak"))) << name;
    }
    run = RunCli({"restore", list}, {}, m_io, 60);
    EXPECT_EQ(run.out, "成功恢复3个\n");
    EXPECT_EQ(ReadBytes(m_src / "a.txt"), "a\r\n");
    EXPECT_TRUE(fs::is_symlink(m_src / "link.txt"));
}

// Restore through a link replaced the link with a regular file and left the real file changed, and
// it handed back a file owned by the user who ran the job.
TEST_F(RealSetup, RestoreGoesThroughLinksAndKeepsOwnerAndMode) {
    const fs::path real = m_tmp / "real" / "a.txt";
    fs::create_directories(real.parent_path());
    WriteBytes(real, "a\r\n");
    ::chmod(real.c_str(), 0640);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(real.c_str(), 4242, 4343), 0);
    }
    fs::create_symlink(real, m_src / "l.txt");
    const std::string list = (m_io / "list").string();
    CliRun run = insert({"--result-list", list, m_src.string()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadBytes(real), "ab\r\n");
    run = RunCli({"restore", list}, {}, m_io, 60);
    EXPECT_EQ(run.out, "成功恢复1个\n");
    EXPECT_TRUE(fs::is_symlink(m_src / "l.txt"));
    EXPECT_EQ(ReadBytes(real), "a\r\n");
    EXPECT_FALSE(fs::exists(m_src / "l.txt.bak"));
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(st.st_uid, 4242u);
        EXPECT_EQ(st.st_gid, 4343u);
    }
}

// Output copies and extraction files of a 0600 source were created 0644; a 6755 file became 0755.
TEST_F(RealSetup, PermissionBitsOfCreatedAndRewrittenFiles) {
    WriteBytes(m_src / "secret.txt", "a [b]\r\n");
    ::chmod((m_src / "secret.txt").c_str(), 0600);
    const fs::path out = m_tmp / "out";
    CliRun run = insert({"--output", out.string(), m_src.string()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ModeOf(out / "secret.txt"), 0600u);
    run = RunCli({"extract", "--no-progress", "--start", "[", "--end", "]", m_src.string()}, {}, m_io, 60);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ModeOf(m_src / "secret.txt.extract.txt"), 0600u);

    fs::remove(m_src / "secret.txt.extract.txt");
    WriteBytes(m_src / "tool.txt", "a\r\n");
    ::chmod((m_src / "tool.txt").c_str(), 06755);
    run = insert({m_src.string()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadBytes(m_src / "tool.txt"), "ab\r\n");
    EXPECT_EQ(ModeOf(m_src / "tool.txt"), 06755u);
    EXPECT_EQ(ModeOf(m_src / "tool.txt.bak"), 06755u);
}

// search and --dry-run deleted files named like leftover temporaries, and a search in a second window
// deleted the temporary of a running job. Reading now deletes nothing; a run sweeps only leftovers.
TEST_F(RealSetup, ReadingNeverDeletesAndARunSweepsOnlyLeftovers) {
    WriteBytes(m_src / "a.txt", "a\r\n");
    const fs::path leftover = m_src / ".a.txt.norvik-tmp-Ab12Cd";
    const fs::path held = m_src / ".a.txt.norvik-tmp-Held00";
    WriteBytes(leftover, "half");
    WriteBytes(held, "being written");
    CliRun run = RunCli({"search", "--no-progress", "--find", "a", m_src.string()}, {}, m_io, 60);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    run = insert({"--dry-run", m_src.string()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(fs::exists(leftover));
    EXPECT_EQ(ReadBytes(m_src / "a.txt"), "a\r\n");
    // A writer in another process holds its temporary locked until the rename.
    const int fd = ::open(held.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    run = insert({m_src.string()});
    ::close(fd);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_FALSE(fs::exists(leftover));
    EXPECT_EQ(ReadBytes(held), "being written");
}

// A span end typed as 啊 (GBK B0 A1) matched the trail byte of one character and the lead byte of the
// next ("S" 81B0 A1C1) and left half a character behind. And '?' took one byte of a name, not one
// character, so "?.txt" missed "é.txt".
TEST_F(RealSetup, TypedTextAndMasksRespectCharacters) {
    const std::string split = "S" + Bytes("81B0 A1C1") + "\r\n";
    WriteBytes(m_src / "split.txt", split);
    WriteBytes(m_src / "whole.txt", "S" + Bytes("81B0 A1C1 B0A1") + "\r\n");
    CliRun run = RunCli(
        {"feature", "--no-progress", "--no-backup", "--start", "S", "--end", "啊", "--replace", "R", m_src.string()},
        {}, m_io, 60);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadBytes(m_src / "split.txt"), split);
    EXPECT_EQ(ReadBytes(m_src / "whole.txt"), "R\r\n");

    WriteBytes(m_src / "é.txt", "a\r\n");
    WriteBytes(m_src / "ab.txt", "a\r\n");
    run = insert({"--types", "?.txt", m_src.string()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ParseJobOutput(run).written, std::vector<std::string>{(m_src / "é.txt").string()});
}

// A written name with a line break was split across two lines of the result list, and restore then put
// "notes.bak" back over "notes", a file outside the mask the user had edited. Such a name is never
// written: it is an error line with its reason, so the list never holds a fragment.
TEST_F(RealSetup, ANameWithALineBreakIsNeverWrittenAndRestoreNeverActsOnAFragment) {
    WriteBytes(m_src / "notes\nx.txt", "a\r\n");
    WriteBytes(m_src / "notes", "edited today\r\n");
    WriteBytes(m_src / "notes.bak", "old notes\r\n");
    WriteBytes(m_src / "plain.txt", "a\r\n");
    const fs::path list = m_io / "files.txt";
    CliRun run = insert({"--result-list", list.string(), m_src.string()});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("is Error!!! (文件名含有换行符，无法记入结果列表)"), std::string::npos) << run.err;
    EXPECT_EQ(ReadBytes(m_src / "notes\nx.txt"), "a\r\n");
    EXPECT_FALSE(fs::exists(m_src / "notes\nx.txt.bak"));
    EXPECT_EQ(ReadBytes(list), (m_src / "plain.txt").string() + "\n");

    run = RunCli({"restore", list.string()}, {}, m_io, 60);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadBytes(m_src / "plain.txt"), "a\r\n");
    EXPECT_EQ(ReadBytes(m_src / "notes"), "edited today\r\n");
    EXPECT_EQ(ReadBytes(m_src / "notes.bak"), "old notes\r\n");
}

// `--output out --result-list out/files.txt` with a source named files.txt: the copy replaced the list,
// whose lines then went to a deleted file, exit 0. The run's own files are never a destination.
TEST_F(RealSetup, TheResultListIsNeverReplacedByACopy) {
    WriteBytes(m_src / "files.txt", "a list of mine\r\n");
    WriteBytes(m_src / "b.txt", "a\r\n");
    const fs::path out = m_tmp / "out";
    fs::create_directories(out);
    const fs::path list = out / "files.txt";
    const CliRun run = insert({"--output", out.string(), "--result-list", list.string(), m_src.string()});
    const JobOutput output = ParseJobOutput(run);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(output.errors, std::vector<std::string>{list.string()});
    EXPECT_EQ(output.reasons, std::vector<std::string>{"输出文件是本次运行的结果列表"});
    EXPECT_EQ(ReadBytes(list), (out / "b.txt").string() + "\n");
    EXPECT_EQ(ReadBytes(out / "b.txt"), "ab\r\n");
    EXPECT_EQ(ReadBytes(m_src / "files.txt"), "a list of mine\r\n");
}

// 只读文件强制替换 in output mode cleared the attribute of sources that are never written, and made the
// copies read-only, so the next run into the same folder failed. Sources stay as they are; copies get
// the source's bits and owner-write.
TEST_F(RealSetup, ForcingInOutputModeLeavesSourcesAndKeepsCopiesReplaceable) {
    WriteBytes(m_src / "locked.txt", "a\r\n");
    ::chmod((m_src / "locked.txt").c_str(), 0444);
    const fs::path out = m_tmp / "out";
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const CliRun run = insert({"--force-readonly", "--output", out.string(), m_src.string()});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(ModeOf(m_src / "locked.txt"), 0444u);
        EXPECT_EQ(ModeOf(out / "locked.txt"), 0644u);
        EXPECT_EQ(ReadBytes(out / "locked.txt"), "ab\r\n");
    }
    // A copy the user made read-only is replaced only when forcing is asked for.
    ::chmod((out / "locked.txt").c_str(), 0444);
    CliRun run = insert({"--output", out.string(), m_src.string()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(ParseJobOutput(run).reasons, std::vector<std::string>{"只读文件"});
    run = insert({"--force-readonly", "--output", out.string(), m_src.string()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ModeOf(m_src / "locked.txt"), 0444u);
}

// `--dry-run --diff` put names into its headers as they were: with `patch -p0` a name with a tab
// wrote "src/tab" and a name with a line break and "+++ victim.txt" wrote victim.txt outside the
// tree; names with spaces did not apply. Applied to a copy of the tree, with `patch` and with `git
// apply`, the diff now changes exactly the files the run writes, to the bytes the run writes.
TEST_F(RealSetup, ADiffAppliesToTheFilesTheRunWritesAndNoOther) {
    if (std::system("patch --version >/dev/null 2>&1 && git --version >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "needs patch and git";
    }
    const fs::path tree = m_tmp / "tree";
    fs::create_directories(tree / "src" / "sub dir");
    for (const std::string name : {"plain.txt", "with space.txt", "tab\tname.txt", "x\n+++ victim.txt", "q\"uote.txt",
                                   "back\\slash.txt", "\xD6\xD0\xCE\xC4.txt", "sub dir/a.txt"}) {
        WriteBytes(tree / "src" / name, "a line\r\nkeep\r\n");
    }
    WriteBytes(tree / "src" / "same.txt", "keep\r\n");
    WriteBytes(tree / "src" / "tab", "keep\r\n");
    WriteBytes(tree / "victim.txt", "victim\r\n");
    for (const char* copy : {"patched", "applied", "run"}) {
        fs::copy(tree, m_tmp / copy, fs::copy_options::recursive);
    }
    // Relative names, as a user writes them: both tools refuse absolute ones.
    const fs::path before = fs::current_path();
    fs::current_path(tree);
    const CliRun dry = insert({"--no-backup", "--dry-run", "--diff", "src"});
    fs::current_path(m_tmp / "run");
    const CliRun run = insert({"--no-backup", "src"});
    fs::current_path(before);
    ASSERT_EQ(dry.exitCode, run.exitCode) << dry.err << run.err;
    WriteBytes(m_io / "changes.diff", dry.out);

    const std::string diff = (m_io / "changes.diff").string();
    EXPECT_EQ(std::system(("cd '" + (m_tmp / "patched").string() + "' && patch -s -p0 <'" + diff + "'").c_str()), 0);
    EXPECT_EQ(std::system(("cd '" + (m_tmp / "applied").string() + "' && git apply -p0 '" + diff + "'").c_str()), 0);
    const auto written = FilesUnder(m_tmp / "run");
    EXPECT_NE(written, FilesUnder(tree));
    EXPECT_EQ(FilesUnder(m_tmp / "patched"), written) << dry.out;
    EXPECT_EQ(FilesUnder(m_tmp / "applied"), written) << dry.out;
}

// A power cut must never find an original replaced while its backup or its new text is not on disk:
// the trace of the calls shows, for every rename over a file of the tree (in place and into an output
// folder), a sync made after its temporary was created and after its backup was linked. Without
// durable commits the same trace shows renames with no sync before them, so the check can fail.
TEST_F(RealSetup, NoRenameReplacesAFileBeforeItsTemporaryAndBackupAreSynced) {
    for (int i = 0; i < 300; ++i) {
        fs::create_directories(m_src / ("d" + std::to_string(i % 3)));
        WriteBytes(m_src / ("d" + std::to_string(i % 3)) / ("f" + std::to_string(i) + ".txt"), "a line\r\n");
    }
    const fs::path trace = m_io / "trace";
    // Lines of the trace up to which each name was last created (a temporary) or linked (a backup),
    // and the lines of the syncs.
    auto unsafeRenames = [&](const std::vector<std::string>& extra) {
        Env env = ShimEnv(m_tmp.path(), m_io / "report");
        env["NVK_FAULT_TRACE"] = trace.string();
        const CliRun run = insert(extra, env);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        std::map<std::string, std::size_t> madeAt;
        std::vector<std::size_t> syncs;
        std::size_t renames = 0;
        std::size_t unsafe = 0;
        std::istringstream lines(ReadBytes(trace));
        std::string line;
        for (std::size_t at = 0; std::getline(lines, line); ++at) {
            std::istringstream words(line);
            std::string op, from, to;
            words >> op >> from >> to;
            if (op == "mkstemp") {
                madeAt[from] = at;
            } else if (op == "link") {
                madeAt[to] = at; // a backup (or a copy made where links work)
            } else if (op == "syncfs") {
                syncs.push_back(at);
            } else if (op == "rename") {
                ++renames;
                // The latest thing this rename depends on: its temporary and, in place, the backup.
                std::size_t needs = madeAt.count(from) != 0 ? madeAt[from] : 0;
                if (const auto backup = madeAt.find(to + ".bak"); backup != madeAt.end()) {
                    needs = std::max(needs, backup->second);
                }
                const bool synced = std::any_of(syncs.begin(), syncs.end(), [&](std::size_t s) { return s > needs; });
                unsafe += synced ? 0 : 1;
            }
        }
        EXPECT_EQ(renames, 300U);
        return unsafe;
    };
    EXPECT_EQ(unsafeRenames({m_src.string()}), 0U) << "in place with backups";
    EXPECT_EQ(unsafeRenames({"--output", (m_tmp / "out").string(), m_src.string()}), 0U) << "into an output folder";
    EXPECT_GT(unsafeRenames({"--no-sync", m_src.string()}), 0U) << "the check sees a rename made too early";
}
