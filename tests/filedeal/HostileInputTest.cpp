// Hostile trees and files for the scan and the text engine: every case has one clear outcome, and
// nothing crashes, hangs or loses a byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "TestSupport.h"
#include "TextFileSupport.h"
#include "filedeal/FileOps.h"
#include "filedeal/FolderScan.h"
#include "filedeal/Replace.h"
#include "filedeal/TextCodec.h"

using namespace norvik::filedeal;
using norvik::test::Bytes;
using norvik::test::ReadAnsiText;
using norvik::test::ReadBytes;
using norvik::test::ReadUtf16Text;
using norvik::test::ReadUtf8Text;
using norvik::test::TempDir;
using norvik::test::WriteAnsiText;
using norvik::test::WriteBytes;
using norvik::test::WriteUtf16Text;
using norvik::test::WriteUtf8Text;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> ScanNames(const TempDir& dir, bool withSubfolders, std::string_view mask) {
    std::vector<std::string> result;
    ScanFolder(dir.folder(), withSubfolders, mask, result);
    for (auto& path : result) {
        path.erase(0, dir.folder().size());
    }
    return result;
}

// A chain of nested folders made by descending with file descriptors, so that it can outgrow the
// path limit that every path-based call is bound by; removed the same way.
class DeepChain {
public:
    DeepChain(const fs::path& base, std::string name, int levels) : m_base(base), m_name(std::move(name)) {
        int fd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        for (int level = 0; level < levels && fd >= 0; ++level) {
            if (::mkdirat(fd, m_name.c_str(), 0755) != 0) {
                break;
            }
            ++m_levels;
            const int next = ::openat(fd, m_name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            fd = next;
        }
        if (fd >= 0) {
            const int file = ::openat(fd, "leaf.txt", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            m_leaf = file >= 0 && ::write(file, "leaf", 4) == 4;
            if (file >= 0) {
                ::close(file);
            }
            ::close(fd);
        }
    }

    ~DeepChain() {
        std::vector<int> fds{::open(m_base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
        for (int level = 0; level < m_levels && fds.back() >= 0; ++level) {
            fds.push_back(::openat(fds.back(), m_name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        }
        ::unlinkat(fds.back(), "leaf.txt", 0);
        for (std::size_t k = fds.size() - 1; k > 0; --k) {
            ::close(fds[k]);
            ::unlinkat(fds[k - 1], m_name.c_str(), AT_REMOVEDIR);
        }
        ::close(fds.front());
    }

    DeepChain(const DeepChain&) = delete;
    DeepChain& operator=(const DeepChain&) = delete;

    [[nodiscard]] int levels() const noexcept { return m_levels; }
    [[nodiscard]] bool hasLeaf() const noexcept { return m_leaf; }

private:
    fs::path m_base;
    std::string m_name;
    int m_levels = 0;
    bool m_leaf = false;
};

} // namespace

TEST(HostileTree, SymbolicLinkLoopsAreListedNeverEnteredAndNeverOpened) {
    TempDir dir;
    fs::create_directory(dir / "sub");
    WriteBytes(dir / "sub" / "real.txt", "real");
    fs::create_symlink("loop_b.txt", dir / "loop_a.txt");
    fs::create_symlink("loop_a.txt", dir / "loop_b.txt");
    fs::create_symlink("self.txt", dir / "self.txt");
    fs::create_symlink("..", dir / "sub" / "up");            // a folder link back to the parent
    fs::create_symlink("../sub", dir / "sub" / "again.txt"); // a folder link to itself, named like a file

    EXPECT_EQ(ScanNames(dir, true, "*.*"), (std::vector<std::string>{"loop_a.txt", "loop_b.txt", "self.txt", "sub",
                                                                     "sub/again.txt", "sub/real.txt", "sub/up"}));
    for (const char* name : {"loop_a.txt", "self.txt"}) {
        const fs::path link = dir / name;
        EXPECT_EQ(DetectEncoding(link), EncodingKind::Unopenable) << name;
        EXPECT_THROW((void)ReadAnsiText(link), FileOpenError) << name;
        EXPECT_FALSE(FileExists(link)) << name;
        EXPECT_FALSE(WriteFileAtomic(link, "new")) << "a write through a loop has no file to land in";
        EXPECT_FALSE(WriteUtf8Text("new", link, false));
        EXPECT_TRUE(fs::is_symlink(link)) << "the link itself is never replaced";
    }
    EXPECT_EQ(fs::read_symlink(dir / "loop_a.txt"), "loop_b.txt");
    EXPECT_EQ(DetectEncoding(dir / "sub" / "again.txt"), EncodingKind::Unopenable) << "a folder behind the link";
    EXPECT_EQ(ScanNames(dir, true, "*.txt"),
              (std::vector<std::string>{"loop_a.txt", "loop_b.txt", "self.txt", "sub/again.txt", "sub/real.txt"}));
}

TEST(HostileTree, TwoHundredLevelsDeepAreScannedReadAndWritten) {
    TempDir dir;
    fs::path deepest = dir.path();
    std::string relative;
    for (int level = 0; level < 200; ++level) {
        deepest /= "d";
        relative += "d/";
    }
    fs::create_directories(deepest);
    WriteBytes(deepest / "leaf.txt", "a\nb");
    WriteBytes(dir / "top.txt", "top");

    EXPECT_EQ(ScanNames(dir, true, "*.txt"), (std::vector<std::string>{"top.txt", relative + "leaf.txt"}));
    const fs::path leaf = deepest / "leaf.txt";
    ASSERT_EQ(DetectEncoding(leaf), EncodingKind::Ansi);
    std::string text = ReadAnsiText(leaf);
    ReplaceAll(text, "b", "B", false);
    ASSERT_TRUE(WriteAnsiText(text, leaf));
    EXPECT_EQ(ReadBytes(leaf), "a\r\nB\r\n");
    EXPECT_EQ(ScanNames(dir, false, "*.txt"), (std::vector<std::string>{"top.txt"}));
}

TEST(HostileTree, AChainBeyondThePathLimitEndsTheScanWhereNoPathCanReach) {
    TempDir dir;
    const std::string name(100, 'n');
    DeepChain chain(dir.path(), name, 50); // some 5000 bytes of path: past PATH_MAX
    ASSERT_EQ(chain.levels(), 50);
    ASSERT_TRUE(chain.hasLeaf());

    std::vector<std::string> result;
    ScanFolder(dir.folder(), true, "*.*", result);
    ASSERT_FALSE(result.empty());
    EXPECT_LT(result.size(), 50U) << "folders whose path is too long cannot be listed";
    std::string expected = dir.folder();
    for (const auto& path : result) {
        expected += name;
        EXPECT_EQ(path, expected);
        expected += "/";
    }
    // The last listed entry, with or without a usable path, is no file to work on.
    EXPECT_EQ(DetectEncoding(result.back()), EncodingKind::Unopenable);
    EXPECT_FALSE(FileExists(result.back()));
    EXPECT_FALSE(WriteFileAtomic(result.back() + "/new.txt", "x"));
}

TEST(HostileNames, NewlinesBlanksSemicolonsQuotesAndInvalidUtf8AreOrdinaryNames) {
    TempDir dir;
    const std::vector<std::string> names = {" lead blank.txt", "\"quoted\".txt",  "*star?.txt",      "-dash.txt",
                                            "back\\slash.txt", "bad\xFF\xFE.txt", "gbk\xB0\xA1.txt", "line\nbreak.txt",
                                            "semi;colon.txt",  "tab\there.txt",   "trail blank .txt"};
    for (const auto& name : names) {
        WriteBytes(dir / name, "x;y\nz");
    }
    std::vector<std::string> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    ASSERT_EQ(ScanNames(dir, true, "*.txt"), sorted);

    for (const auto& name : names) {
        const fs::path path = dir / name;
        EXPECT_EQ(FileNameOf(path.string()), name);
        ASSERT_EQ(DetectEncoding(path), EncodingKind::Ansi) << name;
        std::string text = ReadAnsiText(path);
        ReplaceAll(text, ";", "+", false);
        ASSERT_TRUE(WriteAnsiText(text, path)) << name;
        EXPECT_EQ(ReadBytes(path), "x+y\r\nz\r\n") << name;
    }
    EXPECT_EQ(ScanNames(dir, true, "*.*"), sorted) << "no file gained, lost or left beside them";
}

TEST(HostileTree, FoldersNamedLikeFilesAreListedButNeverReadOrWritten) {
    TempDir dir;
    fs::create_directory(dir / "notes.txt");
    WriteBytes(dir / "notes.txt" / "inside.txt", "inside");
    WriteBytes(dir / "plain.txt", "plain");

    EXPECT_EQ(ScanNames(dir, false, "*.txt"), (std::vector<std::string>{"notes.txt", "plain.txt"}));
    const fs::path folder = dir / "notes.txt";
    EXPECT_EQ(DetectEncoding(folder), EncodingKind::Unopenable);
    EXPECT_THROW((void)ReadFileBytes(folder), FileOpenError);
    EXPECT_FALSE(FileExists(folder));
    EXPECT_TRUE(FolderExists(folder));
    EXPECT_FALSE(WriteFileAtomic(folder, "over"));
    EXPECT_FALSE(WriteAnsiText("over", folder));
    EXPECT_FALSE(CopyFileNoOverwrite(folder, dir / "copy.txt"));
    EXPECT_FALSE(fs::exists(dir / "copy.txt"));
    EXPECT_EQ(ReadBytes(folder / "inside.txt"), "inside") << "the folder and its files are untouched";

    // A file used as a folder: nothing to list, nothing to open.
    std::vector<std::string> result;
    ScanFolder((dir / "plain.txt").string() + "/", true, "*.*", result);
    EXPECT_TRUE(result.empty());
    EXPECT_EQ(DetectEncoding((dir / "plain.txt").string() + "/"), EncodingKind::Unopenable);
    EXPECT_FALSE(WriteFileAtomic((dir / "plain.txt").string() + "/x.txt", "x"));
    EXPECT_EQ(ReadBytes(dir / "plain.txt"), "plain");
}

// A pipe opened for reading waits for a writer, and a device may never end: before the fix a pipe
// named like a text file hung detection for ever.
TEST(HostileFiles, PipesAndDevicesNamedLikeTextFilesAreNotFilesToRead) {
    TempDir dir;
    const fs::path pipe = dir / "pipe.txt";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    fs::create_symlink("/dev/null", dir / "device.txt");

    auto detection = std::async(std::launch::async, [&pipe] { return DetectEncoding(pipe); });
    if (detection.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        // Release every waiting open and read with a writer that comes and goes, so that the test ends.
        while (detection.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
            const int writer = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0) {
                ::close(writer);
            }
        }
        FAIL() << "detection waited for a writer on a pipe";
    }
    EXPECT_EQ(detection.get(), EncodingKind::Unopenable);
    EXPECT_EQ(DetectEncoding(dir / "device.txt"), EncodingKind::Unopenable);
    EXPECT_FALSE(FileExists(pipe));
    EXPECT_FALSE(WriteFileAtomic(pipe, "x")) << "a pipe is never replaced by a file";
    EXPECT_TRUE(fs::is_fifo(pipe));
    EXPECT_EQ(ScanNames(dir, false, "*.txt"), (std::vector<std::string>{"device.txt", "pipe.txt"}));
}

TEST(HostileFiles, EmptyFilesReadAsEmptyTextsOfTheirKind) {
    TempDir dir;
    WriteBytes(dir / "empty.txt", "");
    EXPECT_EQ(DetectEncoding(dir / "empty.txt"), EncodingKind::Ansi);
    std::string text = ReadAnsiText(dir / "empty.txt");
    EXPECT_EQ(text, "");
    ReplaceAll(text, "a", "b", true);
    EXPECT_EQ(text, "");
    ASSERT_TRUE(WriteAnsiText(text, dir / "empty.txt"));
    EXPECT_EQ(ReadBytes(dir / "empty.txt"), "");

    WriteBytes(dir / "mark16.txt", Bytes("FF FE"));
    WriteBytes(dir / "mark8.txt", Bytes("EF BB BF"));
    EXPECT_EQ(DetectEncoding(dir / "mark16.txt"), EncodingKind::Utf16Le);
    EXPECT_EQ(ReadUtf16Text(dir / "mark16.txt"), "");
    EXPECT_EQ(DetectEncoding(dir / "mark8.txt"), EncodingKind::Utf8Bom);
    EXPECT_EQ(ReadUtf8Text(dir / "mark8.txt", true), "");
}

// Detection reads the whole file, as every reader does (files are handled whole, without a size
// limit), so a 2 GB file is never read here; what is tested are the paths that only look at it.
TEST(HostileFiles, ASparseTwoGigabyteFileIsListedAndJudgedWithoutBeingRead) {
    TempDir dir;
    const fs::path big = dir / "big.txt";
    WriteBytes(big, Bytes("EF BB BF 61"));
    if (::truncate(big.c_str(), off_t{2} << 30) != 0) {
        GTEST_SKIP() << "the file system cannot hold a sparse 2 GB file";
    }
    struct stat st {};
    ASSERT_EQ(::stat(big.c_str(), &st), 0);
    if (st.st_blocks * 512 > (off_t{64} << 20)) {
        GTEST_SKIP() << "the file system does not keep the file sparse";
    }
    EXPECT_EQ(ScanNames(dir, true, "*.txt"), (std::vector<std::string>{"big.txt"}));
    EXPECT_TRUE(FileExists(big));
    EXPECT_FALSE(IsReadOnly(big));
    EXPECT_EQ(fs::file_size(big), std::uintmax_t{2} << 30);
    ASSERT_EQ(::stat(big.c_str(), &st), 0);
    EXPECT_LE(st.st_blocks * 512, off_t{64} << 20) << "nothing filled the holes in";
}

TEST(HostileFiles, BinaryFilesKeepEveryByteAroundTheirZeros) {
    TempDir dir;
    // Every byte value, zeros among them, then a find text behind a run of zeros. 0x80 alone is no
    // UTF-8, so the file is ANSI.
    std::string binary;
    for (int b = 0; b < 256; ++b) {
        binary.push_back(static_cast<char>(b));
    }
    binary += std::string(16, '\0') + "NEEDLE" + std::string(3, '\0') + "tail";
    WriteBytes(dir / "blob.bin", binary);
    ASSERT_EQ(DetectEncoding(dir / "blob.bin"), EncodingKind::Ansi);
    std::string text = ReadAnsiText(dir / "blob.bin");
    EXPECT_EQ(text, DecodeAnsi(binary));
    EXPECT_EQ(text.size(), binary.size() + 4) << "the lone LF and CR and the end get CR LF; nothing is cut at a zero";
    ReplaceAll(text, "needle", "found", true);
    EXPECT_NE(text.find(std::string(16, '\0') + "found" + std::string(3, '\0') + "tail"), std::string::npos);
    ASSERT_TRUE(WriteAnsiText(text, dir / "blob.bin"));
    EXPECT_EQ(ReadBytes(dir / "blob.bin"), EncodeText(text, EncodingKind::Ansi).bytes);

    // Zero units in UTF-16 and U+0000 in UTF-8 are text like any other and come back unchanged.
    const std::string utf16 = Bytes("FF FE 61 00 00 00 00 00 62 00 2D 4E");
    WriteBytes(dir / "zero16.txt", utf16);
    ASSERT_EQ(DetectEncoding(dir / "zero16.txt"), EncodingKind::Utf16Le);
    const std::string text16 = ReadUtf16Text(dir / "zero16.txt");
    EXPECT_EQ(text16, std::string("a\0\0b", 4) + Bytes("D6 D0"));
    EXPECT_TRUE(SurvivesRoundTrip(utf16, text16, EncodingKind::Utf16Le));
    ASSERT_TRUE(WriteUtf16Text(text16, dir / "zero16.txt"));
    EXPECT_EQ(ReadBytes(dir / "zero16.txt"), utf16);

    const std::string utf8 = std::string("x\0y", 3) + Bytes("E4 B8 AD");
    WriteBytes(dir / "zero8.txt", utf8);
    ASSERT_EQ(DetectEncoding(dir / "zero8.txt"), EncodingKind::Utf8);
    const std::string text8 = ReadUtf8Text(dir / "zero8.txt", false);
    EXPECT_TRUE(SurvivesRoundTrip(utf8, text8, EncodingKind::Utf8));
    ASSERT_TRUE(WriteUtf8Text(text8, dir / "zero8.txt", false));
    EXPECT_EQ(ReadBytes(dir / "zero8.txt"), utf8);
}
