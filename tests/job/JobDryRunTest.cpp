// The dry run: it changes nothing, and foresees what the real run meets.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <tuple>
#include <unistd.h>

#include "JobTestSupport.h"
#include "TestSupport.h"
#include "filedeal/FileOps.h"
#include "job/JobEngine.h"
#include "job/JobTexts.h"

namespace norvik::test {
namespace {

namespace fs = std::filesystem;
using job::RunStatus;
using settings::ReplaceMode;

TEST_F(JobRun, ADryRunChangesNothingAndForeseesTheFailures) {
    const fs::path a = put("a.txt", "a\r\n");
    const fs::path locked = put("locked.txt", "a\r\n");
    const fs::path wide = put("wide.txt", Bytes("EFBBBF 61 ED959C 80")); // a stray byte: does not decode
    MakeReadOnly(locked);
    const auto time = AgeFile(a);
    target(a);
    target(locked);
    target(wide);
    request.dryRun = true;
    rule("a", "b");

    const job::RunResult inPlace = run();

    EXPECT_EQ(rec.results, std::vector<std::string>{PathText(a)});
    EXPECT_EQ(rec.errors,
              (std::vector<std::string>{PathText(locked) + " is Error!!!", PathText(wide) + " is Error!!!"}));
    ASSERT_EQ(rec.failures.size(), 2u);
    EXPECT_EQ(rec.failures[0].reason, job::FailureReason::ReadOnly);
    EXPECT_EQ(rec.failures[1].reason, job::FailureReason::Undecodable);
    EXPECT_EQ(inPlace.counters, (job::RunCounters{3, 2, 0, 1, 2}));
    EXPECT_EQ(ReadBytes(a), "a\r\n");
    EXPECT_EQ(fs::last_write_time(a), time);
    EXPECT_FALSE(fs::exists(dir / "a.txt.bak"));

    rec = Recorder();
    options.forceReadOnly = true;
    options.outputToFolder = true;
    options.outputFolder = dir.folder() + "out/"; // one level: the run would make it
    run();
    EXPECT_EQ(rec.results.size(), 2u); // the read-only source does not matter in output mode
    EXPECT_FALSE(fs::exists(options.outputFolder));
    EXPECT_TRUE(!OwnerWritable(locked));

    rec = Recorder();
    options.outputFolder = dir.folder() + "no/such/";
    run();
    EXPECT_TRUE(rec.results.empty());
    EXPECT_EQ(rec.errors.size(), 3u);
    EXPECT_EQ(rec.failures[0].reason, job::FailureReason::OutputFolderMissing);
}

// The dry run is judged against the real run on a tree of every failure it must foresee: its result
// and error lines and its counts are the real run's, in each mode.
TEST(JobDryRun, ForeseesWhatTheRealRunMeets) {
    struct Mode {
        const char* name;
        ReplaceMode mode;
        bool toFolder;
        const char* folder; // under the temporary folder
        bool hits = false;  // the files come as ticked search hits (or a preview's files)
        bool force = false; // 只读文件强制替换
    };
    const Mode modes[] = {{"in place", ReplaceMode::Normal, false, ""},
                          {"output folder to make", ReplaceMode::Normal, true, "out/"},
                          {"existing output folder", ReplaceMode::Normal, true, "out/"},
                          {"output folder that is a file", ReplaceMode::Normal, true, "plain"},
                          {"output folder in a missing folder", ReplaceMode::Normal, true, "no/such/"},
                          {"extraction", ReplaceMode::Extract, false, ""},
                          {"search hits in place", ReplaceMode::Normal, false, "", true},
                          {"search hits into an output folder, forced", ReplaceMode::Normal, true, "out/", true, true},
                          {"forced in place", ReplaceMode::Normal, false, "", false, true}};
    for (const Mode& m : modes) {
        SCOPED_TRACE(m.name);
        std::vector<std::tuple<std::vector<std::string>, std::vector<std::string>, job::RunCounters>> seen;
        // The forecast, then the real run on one worker and on several: all must agree, line for line
        // and in order, whatever the number of workers.
        for (const auto& [dry, jobs] : {std::pair{true, 1U}, std::pair{false, 1U}, std::pair{false, 2U},
                                        std::pair{false, 8U}, std::pair{true, 8U}}) {
            SCOPED_TRACE(std::to_string(jobs) + (dry ? " workers, dry run" : " workers"));
            TempDir dir;
            auto put = [&](const std::string& name, std::string_view bytes) {
                fs::create_directories((dir / name).parent_path());
                WriteBytes(dir / name, bytes);
            };
            put("t/a.txt", "a<a>a</a>\r\n");
            put("t/locked.txt", "a<a>a</a>\r\n");
            MakeReadOnly(dir / "t/locked.txt");
            put("t/wide.txt", Bytes("EFBBBF 61 ED959C 3C613E 3C2F613E"));
            put("t/bin.txt", std::string("a<a>\0</a>\n", 11));
            put("t/stray.txt", Bytes("EFBBBF 61 80 3C613E 3C2F613E"));                           // does not decode
            put("t/emoji.txt", Bytes("FFFE 6100 3DD8 00DE 3C00 6100 3E00 3C00 2F00 6100 3E00")); // edited in Unicode
            put("t/taken.txt", "a<a>a</a>\r\n");
            fs::create_directories(dir / "t/taken.txt.bak");
            fs::create_directories(dir / "t/a.txt.extract.txt");
            put("t/dangling.txt", "a<a>a</a>\r\n");
            fs::create_symlink(dir / "nowhere", dir / "t/dangling.txt.bak");
            put("t/kept.txt", "a<a>a</a>\r\n");
            put("t/kept.txt.bak", "older");
            put("plain", "a file where a folder is wanted");
            put("out/locked.txt", "read-only in the output folder");
            MakeReadOnly(dir / "out/locked.txt");
            fs::create_hard_link(dir / "t/a.txt", dir / "t/twice.txt");     // one file reached twice
            fs::create_hard_link(dir / "t/kept.txt", dir / "out/kept.txt"); // a destination that is a source
            put("t/line\nbreak.txt", "a<a>a</a>\r\n");                      // no line of a result list
            put("t/list.txt", "a<a>a</a>\r\n");                             // its copy would land on the run's own list
            if (std::string(m.name) == "output folder to make") {
                fs::remove_all(dir / "out"); // made by the run itself
            }

            settings::ReplaceOptions options;
            options.mode = m.mode;
            options.outputToFolder = m.toFolder;
            options.outputFolder = dir.folder() + m.folder;
            options.forceReadOnly = m.force;
            options.jobs = jobs;
            job::JobEngine engine(options);
            job::JobRequest request;
            request.targets.push_back(FolderTarget(dir / "t"));
            request.ownFiles.push_back((dir / "out/list.txt").string());
            if (m.hits) {
                request.useSearchHits = true;
                for (const auto& entry : fs::directory_iterator(dir / "t")) {
                    request.searchHits.push_back(FileTarget(entry.path()));
                }
                std::sort(request.searchHits.begin(), request.searchHits.end(),
                          [](const auto& x, const auto& y) { return x.path < y.path; });
            }
            request.rules.texts.find = "a";
            request.rules.texts.replacement = "b";
            request.rules.texts.extractStart = "<a>";
            request.rules.texts.extractEnd = "</a>";
            request.dryRun = dry;
            Recorder rec;
            const job::RunResult result = engine.run(request, rec);
            for (auto* lines : {&rec.results, &rec.errors}) {
                for (std::string& line : *lines) {
                    line = line.substr(dir.folder().size());
                }
            }
            // The reasons are part of the forecast.
            for (std::size_t i = 0; i < rec.errors.size(); ++i) {
                rec.errors[i] += " (" + job::FailureReasonText(rec.failures[i].reason) + ")";
            }
            if (!dry) {
                EXPECT_EQ(ReadBytes(dir / "t/line\nbreak.txt"), "a<a>a</a>\r\n");
                EXPECT_FALSE(fs::exists(dir / "t/line\nbreak.txt.bak"));
                if (m.toFolder) {
                    EXPECT_FALSE(OwnerWritable(dir / "t/locked.txt")) << "a source in output mode is never changed";
                }
            }
            seen.emplace_back(rec.results, rec.errors, result.counters);
        }
        for (std::size_t i = 1; i < seen.size(); ++i) {
            EXPECT_EQ(std::get<0>(seen[0]), std::get<0>(seen[i])) << "result lines, run " << i;
            EXPECT_EQ(std::get<1>(seen[0]), std::get<1>(seen[i])) << "error lines, run " << i;
            EXPECT_EQ(std::get<2>(seen[0]), std::get<2>(seen[i])) << "counts, run " << i;
        }
        EXPECT_FALSE(std::get<1>(seen[1]).empty()); // the tree does hold failures
    }
}

} // namespace
} // namespace norvik::test
