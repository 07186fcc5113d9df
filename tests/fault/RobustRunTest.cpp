// Runs of the real norvik-cli that meet exhaustion, broken outputs, special files and stops: one file
// never ends a run, output that cannot be written is a failure but never cuts the job short, the
// result list is there line by line whatever ends the run, and the exit status tells a partial run
// from a complete one.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "FaultSupport.h"
#include "TestSupport.h"

using namespace norvik::faulttest;
using norvik::test::ReadBytes;
using norvik::test::TempDir;
using norvik::test::WriteBytes;

namespace {

const std::string kOld = "hello\r\n";
const std::string kNew = "\xC4\xE3\xBA\xC3\r\n"; // 你好 in GBK

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}

std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl = text.find('\n'); nl != std::string::npos; nl = text.find('\n', start)) {
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    EXPECT_EQ(start, text.size()) << "the last line has no line break";
    return lines;
}

/// A sparse file of `bytes` bytes, made at once.
void MakeSparse(const fs::path& path, off_t bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, bytes), 0);
    ::close(fd);
}

class RobustRun : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(m_root);
        fs::create_directories(m_io);
    }
    /// `count` files holding "hello", with names long enough that the paths printed outgrow what a pipe
    /// holds (64 KiB) from 600 files on, so a reader that left is noticed.
    std::vector<fs::path> makeFiles(std::size_t count) {
        std::vector<fs::path> files;
        for (std::size_t i = 0; i < count; ++i) {
            files.push_back(m_many.path() / (std::string(100, 'n') + "-" + std::to_string(100000 + i) + ".txt"));
            WriteBytes(files.back(), kOld);
        }
        return files;
    }
    static void ResetFiles(const std::vector<fs::path>& files) {
        for (const auto& f : files) {
            WriteBytes(f, kOld);
            fs::remove(f.string() + ".bak");
        }
    }
    /// The written files among `files`: new bytes and a backup of the old ones; every other file is old.
    std::vector<std::string> writtenAmong(const std::vector<fs::path>& files) {
        std::vector<std::string> written;
        for (const auto& f : files) {
            const std::string now = ReadBytes(f);
            EXPECT_TRUE(now == kOld || now == kNew) << f;
            if (now == kNew) {
                EXPECT_EQ(ReadIfExists(f.string() + ".bak"), kOld) << f;
                written.push_back(f.string());
            }
        }
        return written;
    }

    TempDir m_tmp;
    ScratchDir m_many{"norvik-robust"}; // in memory where it can be: runs over many files
    fs::path m_root = m_tmp / "root";
    fs::path m_io = m_tmp / "io";
};

} // namespace

// A rule file, a restore list or a result list that is a pipe, a device or a file beyond the size
// limit is an unreadable file at once: status 2, nothing touched, never a hang or a memory blow-up.
TEST_F(RobustRun, RuleFilesAndListsThatAreNoPlainFilesAreRefusedAtOnce) {
    WriteBytes(m_root / "a.txt", kOld);
    for (const char* name : {"pipe.nrr", "pipe.list"}) {
        ASSERT_EQ(::mkfifo((m_io / name).c_str(), 0644), 0);
    }
    fs::create_symlink("/dev/zero", m_io / "zero.nrr");
    fs::create_symlink("/dev/zero", m_io / "zero.list");
    MakeSparse(m_io / "big.nrr", (off_t{64} << 20) + 1);
    MakeSparse(m_io / "big.list", (off_t{64} << 20) + 1);
    // The list of an earlier run stays when the run does not start.
    const fs::path earlier = m_io / "earlier.list";
    WriteBytes(earlier, "/the/undo/information/of/an/earlier/run\n");
    for (const char* name : {"pipe.nrr", "zero.nrr", "big.nrr"}) {
        SCOPED_TRACE(name);
        const CliRun run = RunCli({"replace", "--no-progress", "--rules", (m_io / name).string(), "--result-list",
                                   earlier.string(), m_root.string()},
                                  {}, m_io, 20);
        EXPECT_FALSE(run.timedOut) << "the rule file was waited on";
        EXPECT_EQ(run.exitCode, 2) << run.err;
        EXPECT_EQ(ReadBytes(earlier), "/the/undo/information/of/an/earlier/run\n");
    }
    for (const char* name : {"pipe.list", "zero.list", "big.list"}) {
        SCOPED_TRACE(name);
        const CliRun run = RunCli({"restore", (m_io / name).string()}, {}, m_io, 20);
        EXPECT_FALSE(run.timedOut) << "the list was waited on";
        EXPECT_EQ(run.exitCode, 2) << run.err;
    }
    // A result list nobody can receive stops the command before it writes a file.
    const CliRun run =
        RunCli(ReplaceHelloArgs(m_root.string(), {"--result-list", (m_io / "pipe.list").string()}), {}, m_io, 20);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_EQ(ReadBytes(m_root / "a.txt"), kOld);
    EXPECT_FALSE(fs::exists(m_root / "a.txt.bak"));

    // A run that starts and writes nothing leaves an empty list.
    const CliRun none = RunCli({"replace", "--no-progress", "--find", "absent", "--replace", "x", "--result-list",
                                earlier.string(), m_root.string()},
                               {}, m_io, 20);
    EXPECT_EQ(none.exitCode, 0) << none.err;
    EXPECT_EQ(ReadBytes(earlier), "");
}

// A folder that can be listed but not entered, and one that can be entered but not listed, are
// failures named on the error list; their files are never counted as missing.
TEST_F(RobustRun, FoldersThatCanBeListedButNotEnteredAreFailures) {
    WriteBytes(m_root / "open.txt", kOld);
    fs::create_directories(m_root / "closed");
    WriteBytes(m_root / "closed" / "a.txt", kOld);
    fs::create_directories(m_root / "dark" / "sub");
    WriteBytes(m_root / "dark" / "b.txt", kOld);
    WriteBytes(m_root / "dark" / "sub" / "c.txt", kOld);
    WriteBytes(m_io / "unreadable.list", "");
    ::chmod((m_io / "unreadable.list").c_str(), 0);
    ::chmod((m_root / "closed").c_str(), 0644); // read, no search
    ::chmod((m_root / "dark").c_str(), 0311);   // search and write, no read
    const Env env = {{kEnvEnforcePermissions, "1"}};
    struct Restorer {
        fs::path root;
        ~Restorer() {
            ::chmod((root / "closed").c_str(), 0755);
            ::chmod((root / "dark").c_str(), 0755);
        }
    } restorer{m_root};
    if (RunCli({"restore", (m_io / "unreadable.list").string()}, env, m_io, 20).exitCode != 2) {
        GTEST_SKIP() << "permission bits cannot be enforced here";
    }

    const CliRun run = RunCli(ReplaceHelloArgs(m_root.string()), env, m_io, 60);
    const JobOutput output = ParseJobOutput(run);
    ASSERT_TRUE(output.summary) << run.out << run.err;
    EXPECT_EQ(output.errors, (std::vector<std::string>{(m_root / "closed/").string(), (m_root / "dark/").string()}));
    EXPECT_EQ(output.summary->missing, 0u);
    EXPECT_EQ(output.summary->failures, 2u);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(ReadBytes(m_root / "open.txt"), kNew);

    // Named as file targets: one in the closed folder cannot be looked at, one in the dark folder is
    // reached through its name.
    const CliRun direct =
        RunCli(ReplaceHelloArgs((m_root / "closed" / "a.txt").string(), {(m_root / "dark" / "b.txt").string()}), env,
               m_io, 60);
    const JobOutput directOutput = ParseJobOutput(direct);
    ASSERT_TRUE(directOutput.summary) << direct.out << direct.err;
    EXPECT_EQ(directOutput.errors, std::vector<std::string>{(m_root / "closed" / "a.txt").string()});
    EXPECT_EQ(directOutput.summary->missing, 0u);
    EXPECT_EQ(directOutput.written, std::vector<std::string>{(m_root / "dark" / "b.txt").string()});
    EXPECT_EQ(direct.exitCode, 1);
    ::chmod((m_root / "closed").c_str(), 0755);
    EXPECT_EQ(ReadBytes(m_root / "closed" / "a.txt"), kOld);
}

// A file too large for the memory the program may use, and one the rules grow past it, are error
// lines; the files before and after them are done, and the summary and the result list are whole.
// Files are read in chunks and held only when the rules may change them (the huge one holds the text
// at its very end), so the search, which decides from the bytes, finds even the file too large for
// that memory.
TEST_F(RobustRun, AFileThatExhaustsMemoryIsAnErrorAndTheRunGoesOn) {
    if (kSanitized) {
        GTEST_SKIP() << "the sanitizers reserve more address space than the limit allows";
    }
    WriteBytes(m_root / "a.txt", kOld);
    MakeSparse(m_root / "huge.txt", off_t{768} << 20);
    std::ofstream(m_root / "huge.txt", std::ios::binary | std::ios::app) << "hello\r\n";
    WriteBytes(m_root / "grow.txt", std::string(std::size_t{4} << 20, 'h') + "ello\r\n");
    WriteBytes(m_root / "z.txt", kOld);
    const Env env = {{kEnvAddressLimitMiB, "384"}};
    const fs::path list = m_io / "list.txt";
    const std::string growth(100, 'x');
    const CliRun run = RunCli({"replace", "--no-progress", "--find", "h", "--replace", growth, "--result-list",
                               list.string(), m_root.string()},
                              env, m_io, 120);
    EXPECT_TRUE(run.exited) << "ended by signal " << run.signal;
    const JobOutput output = ParseJobOutput(run);
    ASSERT_TRUE(output.summary) << run.out << run.err;
    EXPECT_EQ(output.errors,
              (std::vector<std::string>{(m_root / "grow.txt").string(), (m_root / "huge.txt").string()}));
    EXPECT_EQ(output.written, (std::vector<std::string>{(m_root / "a.txt").string(), (m_root / "z.txt").string()}));
    EXPECT_EQ(LinesOf(ReadBytes(list)), output.written);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(ReadBytes(m_root / "z.txt"), growth + "ello\r\n");
    EXPECT_EQ(fs::file_size(m_root / "grow.txt"), (std::size_t{4} << 20) + 6);
    EXPECT_FALSE(fs::exists(m_root / "huge.txt.bak"));

    const CliRun search = RunCli({"search", "--no-progress", "--find", "ello", m_root.string()}, env, m_io, 120);
    const JobOutput found = ParseJobOutput(search);
    EXPECT_TRUE(found.errors.empty()) << search.out;
    const std::vector<std::string> hits = {(m_root / "a.txt").string(), (m_root / "grow.txt").string(),
                                           (m_root / "huge.txt").string(), (m_root / "z.txt").string()};
    ASSERT_GE(found.written.size(), 4u) << search.out;
    EXPECT_EQ(std::vector<std::string>(found.written.begin(), found.written.begin() + 4), hits);
    EXPECT_EQ(search.exitCode, 0);
}

// `--dry-run --diff` held a whole-file diff many times the file's size: under an address-space limit
// the forecast failed a file that the real run writes (失败1, status 1). Now a file whose diff cannot
// be made is forecast as the plain dry run forecasts it, with a note in place of its diff, and the
// files after it still get theirs. The limit lets the plain forecast of this file through but not a
// diff of its 3.5 million changed lines.
TEST_F(RobustRun, ADiffThatExhaustsMemoryForecastsTheFileAsThePlainDryRun) {
    if (kSanitized) {
        GTEST_SKIP() << "the sanitizers reserve more address space than the limit allows";
    }
    std::string big;
    for (int i = 0; i < 3500000; ++i) {
        big += "hello " + std::to_string(1000000 + i) + "\n";
    }
    WriteBytes(m_root / "big.txt", big);
    WriteBytes(m_root / "z.txt", kOld);
    const Env env = {{kEnvAddressLimitMiB, "256"}};
    const std::vector<std::string> args = ReplaceHelloArgs(m_root.string(), {"--no-progress", "--dry-run"});
    const CliRun plain = RunCli(args, env, m_io, 120);
    std::vector<std::string> withDiff = args;
    withDiff.insert(withDiff.begin() + 1, "--diff");
    const CliRun diff = RunCli(withDiff, env, m_io, 120);
    const JobOutput expected = ParseJobOutput(plain);
    const JobOutput forecast = ParseJobOutput(diff);
    ASSERT_TRUE(expected.summary && forecast.summary) << plain.err << diff.err;
    EXPECT_EQ(expected.written, (std::vector<std::string>{(m_root / "big.txt").string(), (m_root / "z.txt").string()}));
    EXPECT_EQ(diff.exitCode, plain.exitCode);
    EXPECT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_EQ(forecast.summary->successes, expected.summary->successes);
    EXPECT_EQ(forecast.summary->failures, 0u);
    EXPECT_EQ(forecast.errors, expected.errors);
    const std::string note = (m_root / "big.txt").string() + "\n(no diff: not enough memory to compare this file)\n";
    const std::size_t noted = diff.out.find(note);
    EXPECT_NE(noted, std::string::npos) << diff.out.substr(0, 500);
    EXPECT_NE(diff.out.find("+++ " + (m_root / "z.txt").string() + "\n", noted), std::string::npos);
}

// Standard output that goes to a reader who left, or to a full disk: the job still does every file
// and writes the whole result list, and the exit status is not 0.
TEST_F(RobustRun, OutputThatCannotBeWrittenNeverCutsTheJobShort) {
    const std::vector<fs::path> files = makeFiles(1000);
    for (const std::string sink : {"| head -c 100 >/dev/null", ">/dev/full"}) {
        SCOPED_TRACE(sink);
        ResetFiles(files);
        const fs::path list = m_io / "list.txt";
        const fs::path status = m_io / "status";
        const std::string command = "{ " + Quote(CliPath()) + " replace --no-progress --find hello --replace 你好 " +
                                    "--history-folder " + Quote((m_io / "history").string()) + " --result-list " +
                                    Quote(list.string()) + " " + Quote(m_many.path().string()) +
                                    " 2>/dev/null; echo $? >" + Quote(status.string()) + "; } " + sink;
        ASSERT_EQ(std::system(command.c_str()), 0);
        EXPECT_EQ(ReadBytes(status), "1\n");
        const std::vector<std::string> written = writtenAmong(files);
        EXPECT_EQ(written.size(), files.size());
        std::vector<std::string> listed = LinesOf(ReadBytes(list));
        std::sort(listed.begin(), listed.end());
        EXPECT_EQ(listed, written);
    }
}

// A stop by SIGTERM (or SIGINT, or a closed terminal) finishes the file in hand, prints the summary
// and exits 3. The result list, written as the run goes, names exactly the files written, so restore
// puts every one back.
TEST_F(RobustRun, AStoppedRunExitsThreeAndItsListUndoesIt) {
    const std::vector<fs::path> files = makeFiles(kSanitized ? 1000 : 3000);
    int stopped = 0;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        ResetFiles(files);
        const fs::path list = m_io / "list.txt";
        fs::remove(list);
        const pid_t pid =
            StartCli(ReplaceHelloArgs(m_many.path().string(), {"--result-list", list.string()}), {}, m_io);
        // The list grows line by line: the signal comes once the first file is written.
        for (int i = 0; i < 20000 && ReadIfExists(list).value_or("").empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ::kill(pid, signal);
        const CliRun run = FinishCli(pid, m_io, 120);
        ASSERT_TRUE(run.exited) << "ended by signal " << run.signal;
        const JobOutput output = ParseJobOutput(run);
        ASSERT_TRUE(output.summary) << run.out << run.err;
        const std::vector<std::string> written = writtenAmong(files);
        if (written.size() == files.size()) {
            EXPECT_EQ(run.exitCode, 0); // the run ended before the signal came: a whole run
            continue;
        }
        ++stopped;
        EXPECT_EQ(run.exitCode, 3) << run.err;
        EXPECT_EQ(output.summary->successes, written.size());
        std::vector<std::string> listed = LinesOf(ReadBytes(list));
        std::sort(listed.begin(), listed.end());
        EXPECT_EQ(listed, written);

        const CliRun restored = RunCli({"restore", list.string()}, {}, m_io);
        EXPECT_EQ(restored.exitCode, 0);
        for (const auto& f : files) {
            EXPECT_EQ(ReadBytes(f), kOld) << f;
        }
    }
    EXPECT_GT(stopped, 0) << "no signal came before the end of its run";
}
