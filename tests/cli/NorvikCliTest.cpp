// End to end: the real norvik-cli binary on folders of files in all four encodings.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <sys/wait.h>

#include "TestSupport.h"

using norvik::test::Bytes;
using norvik::test::ReadBytes;
using norvik::test::TempDir;
using norvik::test::WriteBytes;
namespace fs = std::filesystem;

namespace {

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}

/// Runs `program` (by default the built norvik-cli) in `dir`. A run that names no history records
/// into a folder beside `dir`, not beside the built program (where the window run from the build
/// folder would list it).
Outcome Cli(const TempDir& dir, const std::string& args, const std::string& program = NORVIK_BIN_DIR "/norvik-cli") {
    const std::string out = (dir / "stdout").string();
    const std::string err = (dir / "stderr").string();
    std::string given = args;
    const bool records = args.starts_with("replace ") || args.starts_with("feature ") || args.starts_with("extract ");
    if (records && args.find("--history-folder") == std::string::npos &&
        args.find("--no-history") == std::string::npos) {
        const std::size_t space = args.find(' ');
        given.insert(space, " --history-folder " + Quote(dir.path().string() + ".history"));
    }
    const std::string command = "cd " + Quote(dir.path().string()) + " && " + Quote(program) + " " + given +
                                " </dev/null >" + Quote(out) + " 2>" + Quote(err);
    const int status = std::system(command.c_str());
    Outcome o;
    o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    o.out = ReadBytes(out);
    o.err = ReadBytes(err);
    fs::remove(out);
    fs::remove(err);
    return o;
}

// One file of each kind holding "hello" and 啊, and a file of another type.
void MakeCorpus(const fs::path& folder) {
    fs::create_directories(folder / "sub");
    WriteBytes(folder / "ansi.txt", "hello " + Bytes("B0A1") + "\n");
    WriteBytes(folder / "u16.txt", Bytes("FF FE 68 00 65 00 6C 00 6C 00 6F 00 20 00 4A 55"));
    WriteBytes(folder / "bom.txt", Bytes("EF BB BF") + "hello " + Bytes("E5 95 8A"));
    WriteBytes(folder / "sub" / "plain.txt", "HELLO " + Bytes("E5 95 8A") + "\r\n");
    WriteBytes(folder / "other.dat", "hello");
}

} // namespace

TEST(Cli, ReplacesInEveryEncodingAndRestores) {
    TempDir dir;
    MakeCorpus(dir / "t");
    const Outcome o = Cli(dir, "replace --find hello --replace 你好 --result-list list.txt --no-progress t");
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(ReadBytes(dir / "t" / "ansi.txt"), Bytes("C4E3 BAC3") + " " + Bytes("B0A1") + "\r\n");
    EXPECT_EQ(ReadBytes(dir / "t" / "u16.txt"), Bytes("FF FE 60 4F 7D 59 20 00 4A 55"));
    EXPECT_EQ(ReadBytes(dir / "t" / "bom.txt"), Bytes("EF BB BF E4 BD A0 E5 A5 BD 20 E5 95 8A"));
    // Letter case is ignored by default.
    EXPECT_EQ(ReadBytes(dir / "t" / "sub" / "plain.txt"), Bytes("E4 BD A0 E5 A5 BD 20 E5 95 8A 0D 0A"));
    EXPECT_EQ(ReadBytes(dir / "t" / "other.dat"), "hello");
    EXPECT_EQ(ReadBytes(dir / "t" / "ansi.txt.bak"), "hello " + Bytes("B0A1") + "\n");
    EXPECT_NE(o.out.find("替换规则1条,共涉及文件4个,符合替换条件的4个,成功替换4个,失败0个,文件不存在0个\n"),
              std::string::npos);
    EXPECT_NE(o.out.find("耗时0分"), std::string::npos);
    EXPECT_EQ(ReadBytes(dir / "list.txt"), "t/ansi.txt\nt/bom.txt\nt/u16.txt\nt/sub/plain.txt\n");

    const Outcome restored = Cli(dir, "restore list.txt");
    EXPECT_EQ(restored.exitCode, 0);
    EXPECT_EQ(restored.out, "成功恢复4个\n");
    EXPECT_EQ(ReadBytes(dir / "t" / "u16.txt"), Bytes("FF FE 68 00 65 00 6C 00 6C 00 6F 00 20 00 4A 55"));
    EXPECT_FALSE(fs::exists(dir / "t" / "u16.txt.bak"));
}

TEST(Cli, OptionsReachTheJob) {
    TempDir dir;
    MakeCorpus(dir / "t");
    Outcome o = Cli(dir, "replace --match-case --no-subdirs --no-backup --types '*.txt;*.dat' --find-hex 68656C6C6F "
                         "--replace-hex 4849 t");
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(ReadBytes(dir / "t" / "other.dat"), "HI\r\n"); // an ANSI file is rewritten with CR LF
    EXPECT_EQ(ReadBytes(dir / "t" / "sub" / "plain.txt"), "HELLO " + Bytes("E5 95 8A") + "\r\n");
    EXPECT_FALSE(fs::exists(dir / "t" / "ansi.txt.bak"));

    fs::create_directory(dir / "out");
    o = Cli(dir, "feature --start " + Quote("\xe5\x95\x8a") + " --end " + Quote("\xe5\x95\x8a") +
                     " --replace X --output out t/ansi.txt");
    EXPECT_EQ(o.exitCode, 0) << o.err;
    // Only one start/end occurrence: no span, nothing written.
    EXPECT_FALSE(fs::exists(dir / "out" / "ansi.txt"));
    o = Cli(dir, "feature --start H --end " + Quote("\xe5\x95\x8a") + " --replace X --output out t/bom.txt");
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(ReadBytes(dir / "out" / "bom.txt"), Bytes("EF BB BF") + "X");
    EXPECT_EQ(ReadBytes(dir / "t" / "bom.txt"), Bytes("EF BB BF") + "HI " + Bytes("E5 95 8A"));
}

TEST(Cli, FailuresAndUsageErrors) {
    TempDir dir;
    MakeCorpus(dir / "t");
    ::chmod((dir / "t" / "ansi.txt").c_str(), 0444);
    Outcome o = Cli(dir, "replace --find hello --replace bye --no-backup t/ansi.txt t/missing.txt");
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_EQ(o.err, "t/ansi.txt is Error!!! (只读文件)\n");
    EXPECT_NE(o.out.find("失败1个,文件不存在1个"), std::string::npos);
    o = Cli(dir, "replace --find hello --replace bye --no-backup --force-readonly t/ansi.txt");
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_EQ(ReadBytes(dir / "t" / "ansi.txt"), "bye " + Bytes("B0A1") + "\r\n");

    const std::string before = ReadBytes(dir / "t" / "bom.txt");
    EXPECT_EQ(Cli(dir, "replace --find " + Quote("\xe0\xb8\x81") + " --replace x t").exitCode, 2);
    EXPECT_EQ(Cli(dir, "replace --find-hex 6G --replace x t").exitCode, 2);
    EXPECT_EQ(Cli(dir, "replace --rules set.crr t").exitCode, 2);
    EXPECT_EQ(Cli(dir, "feature --rules set.nrr t").exitCode, 2);
    EXPECT_EQ(Cli(dir, "replace --rules gone.nrr t").exitCode, 2);
    EXPECT_EQ(Cli(dir, "replace --find a t").exitCode, 2);
    EXPECT_EQ(Cli(dir, "restore gone.list").exitCode, 2);
    EXPECT_EQ(Cli(dir, "frobnicate").exitCode, 2);
    EXPECT_EQ(ReadBytes(dir / "t" / "bom.txt"), before);
    EXPECT_EQ(Cli(dir, "--help").exitCode, 0);
}

// Characters the code page lacks (an emoji, Korean) are found, previewed, replaced and restored in
// every Unicode encoding, each file keeping its own; UTF-8 with a mark that does not decode is named.
TEST(Cli, UnicodeFilesKeepEveryCharacter) {
    TempDir dir;
    const std::string emoji = "foo \xF0\x9F\x98\x80\n";
    const std::string korean = "foo \xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4\n"; // 한국어
    const std::map<std::string, std::string> files{
        {"t/u8.txt", emoji},
        {"t/bom.txt", Bytes("EF BB BF") + emoji},
        {"t/u16.txt", Bytes("FF FE 66 00 6F 00 6F 00 20 00 3D D8 00 DE 0A 00")},
        {"t/ko.txt", korean},
    };
    for (const auto& [name, bytes] : files) {
        fs::create_directories((dir / name).parent_path());
        WriteBytes(dir / name, bytes);
    }

    Outcome o = Cli(dir, "search --find foo t");
    EXPECT_EQ(o.out.substr(0, o.out.find("耗时")), "t/bom.txt\nt/ko.txt\nt/u16.txt\nt/u8.txt\n找到文件4个\n");
    o = Cli(dir, "replace --dry-run --diff --find foo --replace BAR t");
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_NE(o.out.find("-foo \xF0\x9F\x98\x80\n+BAR \xF0\x9F\x98\x80\n"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("+BAR \xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4\n"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("--- t/u16.txt"), std::string::npos) << o.out;

    o = Cli(dir, "replace --find foo --replace BAR --result-list list.txt --no-progress t");
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_NE(o.out.find("符合替换条件的4个,成功替换4个,失败0个"), std::string::npos) << o.out;
    EXPECT_EQ(ReadBytes(dir / "t/u8.txt"), "BAR \xF0\x9F\x98\x80\n");
    EXPECT_EQ(ReadBytes(dir / "t/bom.txt"), Bytes("EF BB BF") + "BAR \xF0\x9F\x98\x80\n");
    EXPECT_EQ(ReadBytes(dir / "t/u16.txt"), Bytes("FF FE 42 00 41 00 52 00 20 00 3D D8 00 DE 0A 00"));
    EXPECT_EQ(ReadBytes(dir / "t/ko.txt"), "BAR" + korean.substr(3));
    EXPECT_EQ(Cli(dir, "restore list.txt").out, "成功恢复4个\n");
    for (const auto& [name, bytes] : files) {
        EXPECT_EQ(ReadBytes(dir / name), bytes) << name;
    }

    WriteBytes(dir / "t/stray.txt", Bytes("EF BB BF") + "foo \x80\n");
    o = Cli(dir, "replace --find foo --replace BAR --no-progress t/stray.txt");
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_EQ(o.err.substr(0, o.err.find('\n')), "t/stray.txt is Error!!! (UTF-8 文本无法解码)");
    EXPECT_EQ(ReadBytes(dir / "t/stray.txt"), Bytes("EF BB BF") + "foo \x80\n");
}

TEST(Cli, SearchAndExtract) {
    TempDir dir;
    MakeCorpus(dir / "t");
    Outcome o = Cli(dir, "search --find " + Quote("hello \xe5\x95\x8a") + " t");
    EXPECT_EQ(o.exitCode, 0);
    // Case-sensitive: the upper-case file is no hit.
    EXPECT_EQ(o.out.substr(0, o.out.find("耗时")), "t/ansi.txt\nt/bom.txt\nt/u16.txt\n找到文件3个\n");

    WriteBytes(dir / "t" / "page.htm", "a<!--x-->b<!--y-->c");
    o = Cli(dir, "extract --start '<!--' --end '-->' t/page.htm");
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(ReadBytes(dir / "t" / "page.htm"), "a<!--x-->b<!--y-->c");
    EXPECT_EQ(ReadBytes(dir / "t" / "page.htm.extract.txt"), "<!--x-->\r\n<!--y-->\r\n");
}

TEST(Cli, DryRunChangesNothingAndPredicts) {
    TempDir dir;
    MakeCorpus(dir / "t");
    ::chmod((dir / "t" / "ansi.txt").c_str(), 0444);
    const std::string before = ReadBytes(dir / "t" / "bom.txt");
    const Outcome o = Cli(dir, "replace --dry-run --find hello --replace bye --result-list list.txt t");
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_EQ(o.err, "t/ansi.txt is Error!!! (只读文件)\n");
    EXPECT_NE(o.out.find("t/bom.txt\n"), std::string::npos);
    EXPECT_NE(o.out.find("符合替换条件的4个,成功替换3个,失败1个"), std::string::npos);
    EXPECT_EQ(ReadBytes(dir / "t" / "bom.txt"), before);
    EXPECT_FALSE(fs::exists(dir / "t" / "bom.txt.bak"));
    EXPECT_FALSE(fs::exists(dir / "list.txt"));
}

// The diff of a dry run, applied with patch to UTF-8 copies of the files, gives the UTF-8 form of
// the bytes the real run then writes (a code-page file's LF line ends become CR LF in both).
TEST(Cli, DryRunDiffAppliedToUtf8CopiesGivesWhatTheRunWrites) {
    if (std::system("command -v patch >/dev/null && command -v iconv >/dev/null") != 0) {
        GTEST_SKIP() << "patch or iconv is not installed";
    }
    TempDir dir;
    const fs::path src = dir / "src";
    fs::create_directories(src);
    // GBK: 中文 old 啊 / kept lines / old again; without a line end at the end.
    std::string gbk = Bytes("D6D0CEC4") + " old " + Bytes("B0A1") + "\nkeep 1\nkeep 2\nkeep 3\nkeep 4\nkeep 5\nold";
    WriteBytes(src / "gbk.txt", gbk);
    WriteBytes(src / "u16.txt", Bytes("FF FE 6F 00 6C 00 64 00 0D 00 0A 00 2D 4E 0D 00 0A 00"));
    WriteBytes(src / "u8.txt", "first\r\nold " + Bytes("E4 B8 AD") + "\r\n");
    WriteBytes(src / "same.txt", "nothing\n");
    // Characters beyond the code page: an emoji in UTF-8 and in UTF-16 (a surrogate pair).
    WriteBytes(src / "e8.txt", "old \xF0\x9F\x98\x80 old\n");
    WriteBytes(src / "e16.txt", Bytes("FF FE 6F 00 6C 00 64 00 3D D8 00 DE 0A 00"));
    const std::vector<std::pair<std::string, std::string>> files{
        {"gbk.txt", "GBK"}, {"u16.txt", "UTF-16LE"}, {"u8.txt", "UTF-8"}, {"e8.txt", "UTF-8"}, {"e16.txt", "UTF-16LE"}};

    const Outcome preview = Cli(dir, "replace --dry-run --diff --match-case --find old --replace new src");
    ASSERT_EQ(preview.exitCode, 0) << preview.err;
    for (const auto& [name, from] : files) {
        const std::string copy = (dir / (name + ".utf8")).string();
        ASSERT_EQ(std::system(
                      ("iconv -f " + from + " -t UTF-8 " + Quote((src / name).string()) + " >" + Quote(copy)).c_str()),
                  0);
        // This file's part of the output: from its header to the next one.
        const std::string header = "--- " + (fs::path("src") / name).string() + "\n";
        const std::size_t begin = preview.out.find(header);
        ASSERT_NE(begin, std::string::npos) << preview.out;
        const std::size_t end = preview.out.find("\n--- ", begin + 1);
        WriteBytes(dir / "part.diff", preview.out.substr(begin, end == std::string::npos ? end : end + 1 - begin));
        ASSERT_EQ(std::system(("patch -s " + Quote(copy) + " <" + Quote((dir / "part.diff").string())).c_str()), 0)
            << preview.out;
    }
    EXPECT_EQ(preview.out.find("same.txt"), std::string::npos);
    EXPECT_NE(preview.out.find("符合替换条件的5个"), std::string::npos); // the predicted summary follows
    EXPECT_EQ(ReadBytes(src / "gbk.txt"), gbk);                          // nothing written

    ASSERT_EQ(Cli(dir, "replace --no-backup --match-case --find old --replace new src").exitCode, 0);
    for (const auto& [name, from] : files) {
        const std::string written = (dir / (name + ".written")).string();
        ASSERT_EQ(
            std::system(
                ("iconv -f " + from + " -t UTF-8 " + Quote((src / name).string()) + " >" + Quote(written)).c_str()),
            0);
        EXPECT_EQ(ReadBytes(dir / (name + ".utf8")), ReadBytes(written)) << name;
    }
}

// Regression: a result list inside a target folder, matching the mask and holding the find text,
// was taken as a source and rewritten by the run that records into it.
TEST(Cli, ResultListInsideATargetFolderIsNeverASource) {
    TempDir dir;
    fs::create_directories(dir / "src");
    WriteBytes(dir / "src" / "a.txt", "old\r\n");
    WriteBytes(dir / "src" / "list.txt", "old/list/from/before.txt\n");
    // Named first, so the run meets the list before it has written to it.
    const Outcome run =
        Cli(dir, "replace --no-backup --find old --replace new --result-list src/list.txt src/list.txt src");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadBytes(dir / "src" / "a.txt"), "new\r\n");
    EXPECT_EQ(ReadBytes(dir / "src" / "list.txt"), "src/a.txt\n");
    EXPECT_NE(run.out.find("共涉及文件1个"), std::string::npos) << run.out;
}

// A run with "*.*" over a project rewrote ".git/config" with CR LF line ends.
TEST(Cli, VersionControlFoldersAndExcludedNamesAreSkippedInEveryCommand) {
    TempDir dir;
    MakeCorpus(dir / "t");
    fs::create_directories(dir / "t" / ".git");
    fs::create_directories(dir / "t" / "vendor");
    WriteBytes(dir / "t" / ".git" / "config", "hello\n");
    WriteBytes(dir / "t" / "vendor" / "v.txt", "hello\n");
    WriteBytes(dir / "t" / "app.min.js", "hello\n");
    const std::string types =
        " --types '*.txt;*.js;config;*.dat' --exclude vendor --exclude='*.min.js;*.dat' --no-progress t";

    Outcome o = Cli(dir, "search --find hello" + types);
    EXPECT_EQ(o.out.substr(0, o.out.find("耗时")), "t/ansi.txt\nt/bom.txt\nt/u16.txt\n找到文件3个\n");
    o = Cli(dir, "replace --dry-run --diff --find hello --replace bye" + types);
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.out.find("config"), std::string::npos);
    EXPECT_NE(o.out.find("共涉及文件4个"), std::string::npos) << o.out;
    o = Cli(dir, "replace --find hello --replace bye" + types);
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_NE(o.out.find("共涉及文件4个"), std::string::npos) << o.out;
    for (const char* skipped : {".git/config", "vendor/v.txt", "app.min.js", "other.dat"}) {
        EXPECT_EQ(ReadBytes(dir / "t" / skipped), std::string(skipped) == "other.dat" ? "hello" : "hello\n") << skipped;
    }
    o = Cli(dir, "extract --start b --end e" + types);
    EXPECT_FALSE(fs::exists(dir / "t" / ".git" / "config.extract.txt"));
    EXPECT_NE(o.out.find("共涉及文件4个"), std::string::npos) << o.out;

    // Without the default exclusions the repository is a folder like any other.
    o = Cli(dir, "replace --no-default-excludes --find hello --replace bye --types config --no-progress t");
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(ReadBytes(dir / "t" / ".git" / "config"), "bye\r\n");
    EXPECT_EQ(Cli(dir, "search --find x --exclude").exitCode, 2);
}

namespace norvik::test {
namespace {

// Any number of workers gives the same run: the same lines on both outputs in the same order, the
// same result list and the same files, with and without durable commits.
TEST(Cli, EveryWorkerCountGivesTheSameRunLineForLine) {
    struct Seen {
        std::string out, err, list, tree;
        int exitCode;
        bool operator==(const Seen&) const = default;
    };
    auto runWith = [](const std::string& options) {
        TempDir dir;
        for (int i = 0; i < 240; ++i) {
            const fs::path file = dir / "t" / ("d" + std::to_string(i % 7)) / ("f" + std::to_string(i) + ".txt");
            fs::create_directories(file.parent_path());
            switch (i % 6) {
            case 0:
                WriteBytes(file, "nothing to change\r\n");
                break;
            case 1:
                WriteBytes(file, Bytes("FF FE 68 00 65 00 6C 00 6C 00 6F 00"));
                break;
            case 2:
                WriteBytes(file, std::string("hello\0bin", 9));
                break; // binary: an error line
            case 3:
                WriteBytes(file, Bytes("EF BB BF") + "hello " + Bytes("F0 9F 98 80"));
                break;
            default:
                WriteBytes(file, std::string(static_cast<std::size_t>(i) * 37, 'x') + "hello\n");
                break;
            }
            if (i % 11 == 0) {
                ::chmod(file.c_str(), 0444); // read-only: an error line after its backup
            }
        }
        Seen seen;
        const Outcome o = Cli(dir, "replace " + options + " --find hello --replace bye --result-list list.txt t");
        seen.exitCode = o.exitCode;
        seen.out = o.out.substr(0, o.out.rfind("耗时")); // the elapsed time alone may differ
        seen.err = o.err;
        seen.list = ReadBytes(dir / "list.txt");
        for (const auto& entry : fs::recursive_directory_iterator(dir / "t")) {
            if (entry.is_regular_file()) {
                seen.tree +=
                    entry.path().string().substr(dir.path().string().size()) + "=" + ReadBytes(entry.path()) + "\n";
            }
        }
        std::sort(seen.tree.begin(), seen.tree.end()); // the listing order is the file system's
        return seen;
    };
    const Seen one = runWith("--jobs 1");
    EXPECT_EQ(one.exitCode, 1);
    EXPECT_NE(one.err.find("is Error!!!"), std::string::npos);
    EXPECT_NE(one.out.find("成功替换"), std::string::npos);
    for (const char* options : {"--jobs 2", "--jobs 8", "--jobs 8 --no-sync"}) {
        EXPECT_EQ(runWith(options), one) << options;
    }
}

TEST(Cli, JobsTakesACountFromOneToSixtyFour) {
    TempDir dir;
    for (const char* bad : {"--jobs 0", "--jobs -1", "--jobs 65", "--jobs x", "--jobs 2x"}) {
        const Outcome o = Cli(dir, std::string("search ") + bad + " --find a .");
        EXPECT_EQ(o.exitCode, 2) << bad;
        EXPECT_NE(o.err.find("--jobs needs a number from 1 to 64"), std::string::npos) << bad;
    }
}

} // namespace
} // namespace norvik::test

// The run history through the command line: two runs over the same files are undone newest first
// back to the original tree; an edited file is an error line with its reason; a history that cannot
// be written stops the run with status 2 before anything is touched; a damaged entry is named and
// skipped; --no-history records nothing.
TEST(Cli, HistoryUndoesRunsNewestFirst) {
    TempDir dir;
    MakeCorpus(dir / "t");
    const std::string h = " --no-progress --history-folder h ";
    const auto tree = [&] {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(dir / "t")) {
            if (entry.is_regular_file()) {
                files[entry.path().string()] = ReadBytes(entry.path());
            }
        }
        return files;
    };
    const auto original = tree();
    ASSERT_EQ(Cli(dir, "replace" + h + "--find hello --replace bye t").exitCode, 0);
    ASSERT_EQ(Cli(dir, "replace" + h + "--find bye --replace ciao t").exitCode, 0);
    ASSERT_EQ(Cli(dir, "replace --no-history" + h + "--find nothing-here --replace x t").exitCode, 0);
    Outcome listed = Cli(dir, "history --history-folder h");
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < listed.out.size();) {
        const std::size_t end = listed.out.find('\n', at);
        lines.push_back(listed.out.substr(at, end - at));
        at = end == std::string::npos ? listed.out.size() : end + 1;
    }
    ASSERT_EQ(lines.size(), 2u) << listed.out;
    const std::string newest = lines[0].substr(0, lines[0].find(' '));
    const std::string older = lines[1].substr(0, lines[1].find(' '));
    EXPECT_NE(lines[0].find(" replace "), std::string::npos);
    EXPECT_NE(lines[0].find((dir / "t").string()), std::string::npos);
    EXPECT_GT(newest, older);

    // Restoring from another folder: the entry names absolute paths.
    Outcome o =
        Cli(dir, "restore --run " + newest + " --history-folder " + Quote((dir / "h").string()) + " --no-progress");
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_NE(o.out.find("成功恢复4个,失败0个"), std::string::npos) << o.out;
    WriteBytes(dir / "t" / "ansi.txt", "edited after the run\r\n");
    o = Cli(dir, "restore --run " + older + h);
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_EQ(o.err, (dir / "t" / "ansi.txt").string() + " is Error!!! (该次运行之后文件已被改动，保持现状)\n");
    EXPECT_EQ(ReadBytes(dir / "t" / "ansi.txt"), "edited after the run\r\n");
    WriteBytes(dir / "t" / "ansi.txt", original.at((dir / "t" / "ansi.txt").string()));
    fs::remove(dir / "t" / "ansi.txt.bak");
    EXPECT_EQ(tree(), original);
    EXPECT_EQ(Cli(dir, "restore --run no-such-run" + h).exitCode, 2);

    // The newest run came back whole and says so; the older one kept a file as it was.
    listed = Cli(dir, "history --history-folder h");
    const std::string newestLine = listed.out.substr(0, listed.out.find('\n'));
    EXPECT_NE(newestLine.find(" undone "), std::string::npos) << listed.out;
    EXPECT_EQ(listed.out.find(" undone ", newestLine.size()), std::string::npos) << listed.out;
    WriteBytes(dir / "h" / (older + ".entry"), "damaged\n");
    listed = Cli(dir, "history --history-folder h");
    EXPECT_EQ(listed.exitCode, 1);
    EXPECT_EQ(listed.out.rfind(newest + " ", 0), 0u);
    EXPECT_NE(listed.err.find(older + ".entry is damaged"), std::string::npos) << listed.err;

    WriteBytes(dir / "blocker", "");
    o = Cli(dir, "replace --no-progress --history-folder blocker/h --find hello --replace bye t");
    EXPECT_EQ(o.exitCode, 2);
    EXPECT_NE(o.err.find("blocker/h"), std::string::npos) << o.err;
    EXPECT_EQ(tree(), original);
}

// The history limits of the settings file beside a portable program are the retention's, as in the
// window; a limit that cannot be read is said and the defaults kept.
TEST(Cli, HistoryKeepsTheLimitsOfTheSettingsFile) {
    TempDir dir;
    fs::create_directories(dir / "app");
    const fs::path program = dir / "app" / "norvik-cli";
    fs::copy_file(NORVIK_BIN_DIR "/norvik-cli", program);
    const auto settingsWith = [&](const std::string& maxRuns) {
        WriteBytes(dir / "app" / "NVK.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Norvik>\n  <RunHistory>\n"
                                            "    <History_MaxRuns>" +
                                                maxRuns + "</History_MaxRuns>\n  </RunHistory>\n</Norvik>\n");
    };
    settingsWith("2");
    fs::create_directories(dir / "t");
    WriteBytes(dir / "t" / "a.txt", "0");
    const auto runs = [&] {
        const Outcome listed = Cli(dir, "history --history-folder h", program.string());
        return std::count(listed.out.begin(), listed.out.end(), '\n');
    };
    for (int i = 0; i < 4; ++i) {
        const Outcome o = Cli(dir,
                              "replace --no-progress --history-folder h --find " + std::to_string(i) + " --replace " +
                                  std::to_string(i + 1) + " t",
                              program.string());
        ASSERT_EQ(o.exitCode, 0) << o.err;
        EXPECT_EQ(o.err, "");
    }
    EXPECT_EQ(runs(), 2);
    settingsWith("many");
    const Outcome o = Cli(dir, "replace --no-progress --history-folder h --find 4 --replace 5 t", program.string());
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_NE(o.err.find("NVK.xml"), std::string::npos) << o.err;
    EXPECT_EQ(runs(), 3); // the default keeps 50
}
