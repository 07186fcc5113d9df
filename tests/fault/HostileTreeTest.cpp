// Whole jobs of the real norvik-cli over trees that try to break it: link loops, folders deeper than
// a path can name, names no shell likes, things that only look like files, empty and binary files, a
// sparse 2 GiB file, a file that turns into a folder while the job runs. For each: a clear outcome,
// no crash or hang, and nothing lost.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <iostream>
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

const std::string kGbkHello = "\xC4\xE3\xBA\xC3"; // 你好 in GBK

/// A run that ended on its own, with a summary whose counts match the lines printed.
JobOutput Checked(const CliRun& run) {
    EXPECT_FALSE(run.timedOut) << "the job hung";
    EXPECT_TRUE(run.exited) << "ended by signal " << run.signal << "\n" << run.err;
    JobOutput output = ParseJobOutput(run);
    EXPECT_TRUE(output.summary.has_value()) << run.out << run.err;
    if (output.summary) {
        EXPECT_EQ(output.summary->successes, output.written.size());
        EXPECT_EQ(output.summary->failures, output.errors.size());
        EXPECT_EQ(run.exitCode, output.errors.empty() ? 0 : 1) << run.err;
    }
    return output;
}

class HostileJob : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(m_root);
        fs::create_directories(m_io);
    }
    // A tree deeper than PATH_MAX is more than the temporary folder's own clean-up can remove.
    void TearDown() override { RemoveTree(m_root); }
    TempDir m_tmp;
    fs::path m_root = m_tmp / "root";
    fs::path m_io = m_tmp / "io";
};

} // namespace

// Links to folders are never entered, so a loop ends at once; a link that loops or dangles is no
// file and counts as missing; a link to a file is written through and stays a link.
TEST_F(HostileJob, SymbolicLinkLoopsEndAndCountAsMissing) {
    const std::string old = "hello " + Bytes("B0A1") + "\r\n";
    WriteBytes(m_root / "real.txt", old);
    fs::create_directories(m_root / "sub");
    WriteBytes(m_root / "sub" / "inner.txt", old);
    fs::create_directory_symlink(".", m_root / "sub" / "here");
    fs::create_directory_symlink("..", m_root / "sub" / "up.txt");
    fs::create_symlink("b.txt", m_root / "a.txt");
    fs::create_symlink("a.txt", m_root / "b.txt");
    fs::create_symlink("self.txt", m_root / "self.txt");
    fs::create_symlink("nowhere", m_root / "dangling.txt");
    fs::create_symlink("real.txt", m_root / "link.txt");

    const CliRun run = RunCli(ReplaceHelloArgs(m_root.string()), {}, m_io, 60);
    const JobOutput output = Checked(run);
    ASSERT_TRUE(output.summary);
    // a, b, self, dangling and the link to a folder named like a file are no regular files; the
    // link to a folder is never entered. The link to real.txt and real.txt are one file, listed once.
    EXPECT_EQ(output.summary->collected, 7u);
    EXPECT_EQ(output.summary->missing, 5u);
    EXPECT_EQ(output.summary->failures, 0u);
    EXPECT_EQ(ReadBytes(m_root / "real.txt"), kGbkHello + " " + Bytes("B0A1") + "\r\n");
    EXPECT_EQ(ReadBytes(m_root / "sub" / "inner.txt"), kGbkHello + " " + Bytes("B0A1") + "\r\n");
    EXPECT_TRUE(fs::is_symlink(m_root / "link.txt"));
    EXPECT_TRUE(fs::is_symlink(m_root / "self.txt"));
    // The link came first: its backup holds the old text; the file itself is not handled again.
    EXPECT_EQ(ReadBytes(m_root / "link.txt.bak"), old);
    EXPECT_FALSE(fs::exists(m_root / "real.txt.bak"));
}

// A tree deeper than a path can name: the files within reach are replaced, and the folder the
// system refuses to open is reported instead of being skipped in silence.
TEST_F(HostileJob, FoldersDeeperThanAPathCanNameAreReported) {
    constexpr int kDepth = 2100; // "d/" a level: past PATH_MAX (4096) well before the bottom
    const std::string old = "hello " + Bytes("B0A1") + "\r\n";
    int fd = ::open(m_root.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    std::string reachable;
    for (int level = 1; level <= kDepth; ++level) {
        ASSERT_EQ(::mkdirat(fd, "d", 0755), 0) << level;
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
        if (level == 50 || level == kDepth) {
            const int file = ::openat(fd, "deep.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ASSERT_EQ(::write(file, old.data(), old.size()), static_cast<ssize_t>(old.size()));
            ::close(file);
        }
        if (level <= 50) {
            reachable += "d/";
        }
    }
    const CliRun run = RunCli(ReplaceHelloArgs(m_root.string()), {}, m_io, 120);
    const JobOutput output = Checked(run);
    EXPECT_EQ(ReadBytes(m_root / (reachable + "deep.txt")), kGbkHello + " " + Bytes("B0A1") + "\r\n");
    EXPECT_EQ(run.exitCode, 1);
    ASSERT_EQ(output.errors.size(), 1u) << run.err.substr(0, 300);
    EXPECT_GT(output.errors[0].size(), 4000u) << "the folder reported is the first one too deep to open";
    // The bottom file was never touched.
    const int bottom = ::openat(fd, "deep.txt", O_RDONLY);
    std::string bytes(old.size() + 8, '\0');
    bytes.resize(static_cast<std::size_t>(std::max<ssize_t>(0, ::read(bottom, bytes.data(), bytes.size()))));
    EXPECT_EQ(bytes, old);
    ::close(bottom);
    ::close(fd);
}

// Names with line breaks, blanks, ';', a leading '-' and bytes that are not UTF-8 are paths like any
// other. Only the result list, one path a line, cannot carry a name with a line break: restoring from
// it skips that file, which keeps its new text and its backup.
TEST_F(HostileJob, OddNamesAreReplacedAndRestored) {
    const std::vector<std::string> names = {"new\nline.txt", " lead.txt",       "trail .txt",       "semi;colon.txt",
                                            "-rf.txt",       "bad\xFF\xFE.txt", "\xE4\xB8\xAD.txt", "back\\slash.txt",
                                            "tab\there.txt", "q'uote\".txt"};
    const std::string old = "hello " + Bytes("B0A1") + "\r\n";
    const std::string now = kGbkHello + " " + Bytes("B0A1") + "\r\n";
    for (const auto& name : names) {
        WriteBytes(m_root / name, old);
    }
    const fs::path list = m_io / "list.txt";
    const CliRun run = RunCli(ReplaceHelloArgs(m_root.string(), {"--result-list", list.string()}), {}, m_io, 60);
    // A name with a line break cannot be one line of the result list: it is never written (restore
    // would act on its fragments), and its error line says why.
    const JobOutput output = ParseJobOutput(run);
    ASSERT_TRUE(output.summary) << run.out;
    EXPECT_EQ(output.summary->successes, names.size() - 1);
    EXPECT_EQ(output.summary->failures, 1u);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("(文件名含有换行符，无法记入结果列表)"), std::string::npos) << run.err;
    for (const auto& name : names) {
        if (name.find('\n') != std::string::npos) {
            EXPECT_EQ(ReadBytes(m_root / name), old);
            EXPECT_FALSE(fs::exists(m_root / (name + ".bak")));
            continue;
        }
        EXPECT_EQ(ReadBytes(m_root / name), now) << name;
        EXPECT_EQ(ReadBytes(m_root / (name + ".bak")), old) << name;
        EXPECT_NE(run.out.find((m_root / name).string() + "\n"), std::string::npos) << name;
    }

    const CliRun restored = RunCli({"restore", list.string()}, {}, m_io, 60);
    EXPECT_EQ(restored.exitCode, 0);
    EXPECT_EQ(restored.out, "成功恢复" + std::to_string(names.size() - 1) + "个\n");
    for (const auto& name : names) {
        EXPECT_EQ(ReadBytes(m_root / name), old) << name;
        EXPECT_FALSE(fs::exists(m_root / (name + ".bak"))) << name;
    }

    // A file target with a line break in its name: the same.
    const CliRun single = RunCli(ReplaceHelloArgs((m_root / names[0]).string()), {}, m_io, 60);
    EXPECT_EQ(single.exitCode, 1);
    EXPECT_EQ(ReadBytes(m_root / names[0]), old);
}

// A folder named like a file is listed and counted missing, and its files are still handled; a FIFO
// and links to devices are never opened (a read would block or never end).
TEST_F(HostileJob, ThingsThatOnlyLookLikeFilesAreNeverRead) {
    const std::string old = "hello " + Bytes("B0A1") + "\r\n";
    fs::create_directories(m_root / "notes.txt");
    WriteBytes(m_root / "notes.txt" / "inner.txt", old);
    ASSERT_EQ(::mkfifo((m_root / "pipe.txt").c_str(), 0644), 0);
    fs::create_symlink("/dev/zero", m_root / "zero.txt");
    fs::create_symlink("/dev/null", m_root / "null.txt");

    const CliRun run = RunCli(ReplaceHelloArgs(m_root.string()), {}, m_io, 60);
    const JobOutput output = Checked(run);
    ASSERT_TRUE(output.summary);
    EXPECT_EQ(output.summary->collected, 5u);
    EXPECT_EQ(output.summary->missing, 4u);
    EXPECT_EQ(output.summary->successes, 1u);
    EXPECT_EQ(ReadBytes(m_root / "notes.txt" / "inner.txt"), kGbkHello + " " + Bytes("B0A1") + "\r\n");
    EXPECT_TRUE(fs::is_fifo(m_root / "pipe.txt"));

    // The same things named as file targets.
    const CliRun direct = RunCli(ReplaceHelloArgs((m_root / "pipe.txt").string()), {}, m_io, 60);
    const JobOutput directOutput = Checked(direct);
    ASSERT_TRUE(directOutput.summary);
    EXPECT_EQ(directOutput.summary->missing, 1u);
}

// Empty files are left alone. A file without a Unicode mark that holds a zero byte in its first 8,000
// bytes is binary: rewriting it as text would turn its LF bytes into CR LF (an executable destroyed),
// so one the rules would change is an error line and stays byte for byte, without a backup; one
// without the text is not written at all. A zero further in is text content, replaced around; a
// UTF-16 file's zeros are its characters.
TEST_F(HostileJob, EmptyAndBinaryFiles) {
    WriteBytes(m_root / "empty.txt", "");
    const std::string binary = std::string("\x00\x01hello\x00\x80\x81\x00\nend\x00", 16);
    WriteBytes(m_root / "bin.txt", binary);
    const std::string utf8Binary = std::string("\x7F"
                                               "ELF\x00\nhello \xE5\x95\x8A\n",
                                               16);
    WriteBytes(m_root / "elf.txt", utf8Binary);
    const std::string untouched = std::string("\x00\x02\x80\n\x00\xFF", 6);
    WriteBytes(m_root / "other.txt", untouched);
    const std::string lateZero = std::string(8000, 'x') + std::string("\x00hello\n", 7);
    WriteBytes(m_root / "late.txt", lateZero);
    WriteBytes(m_root / "u16.txt", Bytes("FF FE 68 00 65 00 6C 00 6C 00 6F 00 00 00"));

    const CliRun run = RunCli(ReplaceHelloArgs(m_root.string()), {}, m_io, 60);
    const JobOutput output = Checked(run);
    ASSERT_TRUE(output.summary);
    EXPECT_EQ(output.summary->changed, 4u);
    EXPECT_EQ(output.summary->successes, 2u);
    EXPECT_EQ(output.errors, (std::vector<std::string>{(m_root / "bin.txt").string(), (m_root / "elf.txt").string()}));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(ReadBytes(m_root / "empty.txt"), "");
    EXPECT_FALSE(fs::exists(m_root / "empty.txt.bak"));
    for (const auto& [name, bytes] :
         {std::pair{"bin.txt", binary}, {"elf.txt", utf8Binary}, {"other.txt", untouched}}) {
        EXPECT_EQ(ReadBytes(m_root / name), bytes) << name;
        EXPECT_FALSE(fs::exists(m_root / (std::string(name) + ".bak"))) << name;
    }
    EXPECT_EQ(ReadBytes(m_root / "late.txt"), std::string(8000, 'x') + std::string("\x00", 1) + kGbkHello + "\r\n");
    EXPECT_EQ(ReadBytes(m_root / "u16.txt"), Bytes("FF FE 60 4F 7D 59 00 00"));

    // The search still lists a binary file that holds the text.
    const CliRun search = RunCli({"search", "--no-progress", "--find", "hello", m_root.string()}, {}, m_io, 60);
    EXPECT_EQ(search.exitCode, 0) << search.err;
    EXPECT_NE(search.out.find((m_root / "bin.txt").string() + "\n"), std::string::npos) << search.out;
}

// A file that turns into a folder while the job runs: just before its read it is no file any more
// (counted missing); between its read and its backup the backup cannot be made, so it is reported
// and the folder is left as it is. The other files are done either way.
TEST_F(HostileJob, FileReplacedByAFolderMidRun) {
    const std::string old = "hello " + Bytes("B0A1") + "\r\n";
    const std::string now = kGbkHello + " " + Bytes("B0A1") + "\r\n";
    for (const char* name : {"a.txt", "victim.txt", "z.txt"}) {
        WriteBytes(m_root / name, old);
    }
    const fs::path report = m_io / "report";
    for (const char* at : {"1", "2"}) {
        SCOPED_TRACE(std::string("turned into a folder at its open ") + at);
        std::error_code ec;
        fs::remove_all(m_root / "victim.txt", ec);
        fs::remove(m_root / "victim.txt.bak", ec);
        for (const char* name : {"a.txt", "victim.txt", "z.txt"}) {
            WriteBytes(m_root / name, old);
            fs::remove(m_root / (std::string(name) + ".bak"), ec);
        }
        Env env = ShimEnv(m_root, report);
        env["NVK_FAULT_OP"] = "open_r";
        env["NVK_FAULT_ACTION"] = "todir";
        env["NVK_FAULT_MATCH"] = "/victim.txt";
        env["NVK_FAULT_AT"] = at;
        // Without the history, whose backups are written from the bytes read, the backup's copy opens
        // the file a second time.
        const CliRun run = RunCli(ReplaceHelloArgs(m_root.string(), {"--no-history"}), env, m_io, 60);
        ASSERT_TRUE(ReadShimReport(report).fired);
        const JobOutput output = Checked(run);
        ASSERT_TRUE(output.summary);
        EXPECT_TRUE(fs::is_directory(m_root / "victim.txt"));
        EXPECT_EQ(ReadBytes(m_root / "a.txt"), now);
        EXPECT_EQ(ReadBytes(m_root / "z.txt"), now);
        EXPECT_FALSE(Contains(output.written, (m_root / "victim.txt").string()));
        if (std::string(at) == "1") {
            EXPECT_EQ(output.summary->missing, 1u);
            EXPECT_TRUE(output.errors.empty());
        } else {
            EXPECT_EQ(output.errors, std::vector<std::string>{(m_root / "victim.txt").string()});
        }
        EXPECT_FALSE(fs::exists(m_root / "victim.txt.bak"));
    }
}

// A sparse file of 2 GiB and a few bytes, the text to replace beyond the 2 GiB mark. Its first lines
// are text, so that the zeros of the hole, which begin past the first 8,000 bytes, are content of a
// text file (a zero earlier would make it binary, never rewritten).
class SparseFile : public HostileJob {
protected:
    static constexpr std::uintmax_t kHole = std::uintmax_t{2} << 30;

    static std::string Head() {
        std::string head;
        while (head.size() < 8192) {
            head += "a line of text\r\n";
        }
        return head;
    }

    void makeBig(const std::string& tail) {
        m_big = m_root / "big.txt";
        {
            const int fd = ::open(m_big.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ASSERT_GE(fd, 0);
            const std::string head = Head();
            ASSERT_EQ(::write(fd, head.data(), head.size()), static_cast<ssize_t>(head.size()));
            ASSERT_EQ(::pwrite(fd, tail.data(), tail.size(), static_cast<off_t>(kHole)),
                      static_cast<ssize_t>(tail.size()));
            ::close(fd);
        }
        WriteBytes(m_root / "small.txt", "hello " + Bytes("B0A1") + "\r\n");
    }

    [[nodiscard]] static bool Enough(unsigned long long gib) { return AvailableMemoryKiB() >= (gib << 20); }

    /// The file's last bytes, and whether everything between the head and them is zero (read in
    /// pieces).
    static std::pair<bool, std::string> Inspect(const fs::path& path, std::size_t tail) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        std::string buffer(1 << 20, '\0');
        const auto size = static_cast<std::uintmax_t>(fs::file_size(path));
        bool zeros = true;
        std::uintmax_t at = Head().size();
        std::string head(Head().size(), '\0');
        zeros = ::pread(fd, head.data(), head.size(), 0) == static_cast<ssize_t>(head.size()) && head == Head();
        while (at + tail < size && zeros) {
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uintmax_t>(buffer.size(), size - tail - at));
            const ssize_t n = ::pread(fd, buffer.data(), want, static_cast<off_t>(at));
            if (n <= 0) {
                break;
            }
            zeros = buffer.find_first_not_of('\0', 0) >= static_cast<std::size_t>(n);
            at += static_cast<std::uintmax_t>(n);
        }
        std::string last(tail, '\0');
        const ssize_t n = ::pread(fd, last.data(), tail, static_cast<off_t>(size - tail));
        ::close(fd);
        last.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return {zeros, last};
    }

    fs::path m_big;
};

// Regression: reading a file held it twice over for a moment (the buffer doubled just to
// meet the end), so searching a 2 GiB file took 4 GiB. Now the search reads in chunks and holds
// none of a file that its bytes decide.
TEST_F(SparseFile, SearchReadsTheFileOnce) {
    if (!Enough(4)) {
        GTEST_SKIP() << "needs 4 GiB of free memory";
    }
    makeBig("hello\r\n");
    const CliRun run = RunCli({"search", "--no-progress", "--find", "hello", m_root.string()}, {}, m_io, 300);
    EXPECT_TRUE(run.exited && run.exitCode == 0) << run.err;
    EXPECT_NE(run.out.find(m_big.string() + "\n"), std::string::npos);
    EXPECT_NE(run.out.find("找到文件2个"), std::string::npos) << run.out;
    const double held = static_cast<double>(run.maxRssKiB) * 1024.0 / static_cast<double>(kHole);
    std::cout << "[ figures  ] search over a sparse 2 GiB file: peak memory " << run.maxRssKiB / 1024 << " MiB ("
              << held << " times the file)\n";
    EXPECT_LT(held, 0.05);
}

// The job reads the 2 GiB file and replaces the text past the 2 GiB mark (no offset may be a 32-bit
// number), then writes the file once, whole, and keeps to the memory the project allows: three times
// the largest file plus 64 MiB. With case matched and no backup it holds the text as read and the
// result; case ignored adds an upper-case copy to search in, and a backup reads the file once more
// (after the text is released). CI runs the first; NVK_BIG=1 runs the defaults when memory allows.
TEST_F(SparseFile, JobReplacesPastTheTwoGibMark) {
    const bool full = std::getenv("NVK_BIG") != nullptr;
    if (!Enough(full ? 10 : 7)) {
        GTEST_SKIP() << "needs " << (full ? 10 : 7) << " GiB of free memory";
    }
    if (fs::space(m_root).available < (std::uintmax_t{full ? 6u : 3u} << 30)) {
        GTEST_SKIP() << "needs space for the rewritten file";
    }
    makeBig("hello\r\n");
    std::vector<std::string> options =
        full ? std::vector<std::string>{} : std::vector<std::string>{"--match-case", "--no-backup"};
    const CliRun run = RunCli(ReplaceHelloArgs(m_root.string(), options), {}, m_io, 900);
    const JobOutput output = Checked(run);
    ASSERT_TRUE(output.summary);
    EXPECT_EQ(output.summary->successes, 2u);
    const auto [zeros, last] = Inspect(m_big, 6);
    EXPECT_TRUE(zeros);
    EXPECT_EQ(last, kGbkHello + "\r\n");
    EXPECT_EQ(fs::file_size(m_big), kHole + 6);
    if (full) {
        EXPECT_EQ(fs::file_size(m_root / "big.txt.bak"), kHole + 7);
    }
    const double held = static_cast<double>(run.maxRssKiB) * 1024.0 / static_cast<double>(kHole);
    std::cout << "[ figures  ] job over a sparse 2 GiB file (" << (full ? "defaults" : "--match-case --no-backup")
              << "): peak memory " << run.maxRssKiB / 1024 << " MiB (" << held << " times the file)\n";
    // AddressSanitizer's shadow adds an eighth of the memory the program touches to what it holds.
    const long limit = static_cast<long>(3 * (kHole >> 10) + (64 << 10));
    EXPECT_LE(run.maxRssKiB, kSanitized ? limit + limit / 8 : limit);
}
