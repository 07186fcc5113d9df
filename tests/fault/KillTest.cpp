// norvik-cli killed with SIGKILL at random moments of a job over a corpus of a few hundred files:
// every file is always its old bytes or its new bytes, every backup is whole, and the next complete
// run finishes the job and leaves no temporary file behind.
//
// Half the kills fall after a random delay; the other half at a chosen file system event of the job
// (a creation, a write, a rename, seen through inotify), often one of a file of several MB, which is
// when a kill is most likely to catch a write half done. NVK_KILLS sets the number of kills (20 by default; 200 or more
// for a long run by hand) and NVK_KILL_SEED the seed of the corpus and the delays.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "FaultSupport.h"
#include "filedeal/FileOps.h"

using namespace norvik::faulttest;

namespace {

unsigned long EnvNumber(const char* name, unsigned long fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoul(text, nullptr, 10) : fallback;
}

std::vector<CorpusFile> MakeCorpus(const fs::path& root, std::mt19937& rng) {
    constexpr Encoding kEncodings[] = {Encoding::Gbk, Encoding::Utf8, Encoding::Utf8Bom, Encoding::Utf16Le};
    std::vector<CorpusFile> files;
    std::uniform_int_distribution<std::size_t> smallSize(200, 30000);
    std::uniform_int_distribution<std::size_t> largeSize(1u << 20, 4u << 20);
    std::uniform_int_distribution<unsigned> tokens(1, 5);
    for (unsigned i = 0; i < 300; ++i) {
        const bool large = i % 37 == 5; // eight files of several MB
        const fs::path path = root / ("d" + std::to_string(i % 10)) / ("f" + std::to_string(i) + ".txt");
        // Two files in three hold the token.
        files.push_back(AddFile(path, kEncodings[i % 4], rng, large ? largeSize(rng) : smallSize(rng),
                                i % 3 == 2 ? 0 : tokens(rng)));
    }
    return files;
}

struct TreeState {
    std::vector<bool> isNew; ///< per file of the corpus
    std::size_t newFiles = 0;
    std::size_t temporaries = 0;
};

/// Every file old or new, every backup the old bytes; nothing else but temporaries in the tree.
TreeState CheckTree(const fs::path& root, const std::vector<CorpusFile>& files, const std::string& context) {
    TreeState state;
    std::size_t expectedEntries = 0;
    for (const auto& f : files) {
        SCOPED_TRACE(context);
        const auto now = ReadIfExists(f.path);
        if (!now) {
            ADD_FAILURE() << f.path << " is gone";
            state.isNew.push_back(false);
            continue;
        }
        ++expectedEntries;
        const bool isNew = f.changes() && *now == f.newBytes;
        EXPECT_TRUE(*now == f.oldBytes || isNew)
            << f.path << " holds neither its old nor its new bytes (" << now->size() << " bytes; old "
            << f.oldBytes.size() << ", new " << f.newBytes.size() << ")";
        state.newFiles += isNew ? 1 : 0;
        state.isNew.push_back(isNew);
        if (const auto backup = ReadIfExists(f.path + ".bak")) {
            ++expectedEntries;
            EXPECT_EQ(*backup, f.oldBytes) << f.path << ".bak is not the whole old file";
        } else {
            EXPECT_FALSE(isNew) << f.path << " was written before its backup";
        }
    }
    state.temporaries = TemporariesUnder(root).size();
    std::size_t entries = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        entries += entry.is_regular_file() ? 1 : 0;
    }
    EXPECT_EQ(entries, expectedEntries + state.temporaries) << context << ": unexpected files in the tree";
    return state;
}

/// The names of the file system events of a run that are still queued.
std::vector<std::string> ReadEvents(int inotify) {
    std::vector<std::string> names;
    alignas(inotify_event) char buffer[64 * 1024];
    ssize_t n;
    while ((n = ::read(inotify, buffer, sizeof buffer)) > 0) {
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            names.emplace_back(event->len > 0 ? event->name : "");
        }
    }
    return names;
}

/// Kills the child at the `nth` file system event (a creation, a write, a rename into place) whose
/// name `wanted` accepts. Gives false when the child ended before that.
template <typename Wanted> bool KillAtEvent(pid_t pid, int inotify, const Wanted& wanted, unsigned nth) {
    unsigned seen = 0;
    for (;;) {
        pollfd p{inotify, POLLIN, 0};
        if (::poll(&p, 1, 5) > 0) {
            for (const std::string& name : ReadEvents(inotify)) {
                if (wanted(name) && ++seen == nth) {
                    ::kill(pid, SIGKILL);
                    return true;
                }
            }
            continue;
        }
        siginfo_t info{};
        if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid) {
            return false;
        }
    }
}

std::vector<std::string> JobArgs(const fs::path& root) {
    return {"replace", "--no-progress", "--find", "hello", "--replace", "你好", root.string()};
}

} // namespace

TEST(KillTest, EveryFileIsOldOrNewAfterSigkill) {
    const unsigned long kills = EnvNumber("NVK_KILLS", kSanitized ? 6 : 20);
    const unsigned long seed = EnvNumber("NVK_KILL_SEED", 20240611);
    SCOPED_TRACE("seed " + std::to_string(seed) + " (NVK_KILL_SEED)");
    std::mt19937 rng(static_cast<std::mt19937::result_type>(seed));
    ScratchDir scratch;
    const fs::path root = scratch.path() / "corpus";
    const fs::path io = scratch.path() / "io";
    fs::create_directories(io);
    const std::vector<CorpusFile> files = MakeCorpus(root, rng);
    std::size_t changing = 0;
    std::uintmax_t bytes = 0;
    for (const auto& f : files) {
        changing += f.changes() ? 1 : 0;
        bytes += f.oldBytes.size();
    }

    // Every folder of the tree is watched for what the writer does: creations, writes, renames.
    const int inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(inotify, 0);
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_directory()) {
            ASSERT_GE(::inotify_add_watch(inotify, entry.path().c_str(), IN_CREATE | IN_MODIFY | IN_MOVED_TO), 0);
        }
    }
    // One whole run tells how long the job takes and how many events it makes; the kills fall inside.
    const auto start = std::chrono::steady_clock::now();
    const CliRun full = RunCli(JobArgs(root), {}, io);
    const auto fullTime = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(full.exitCode, 0) << full.err;
    ASSERT_EQ(CheckTree(root, files, "a whole run").newFiles, changing);
    const std::size_t fullEvents = ReadEvents(inotify).size();
    ASSERT_GT(fullEvents, changing);
    ResetCorpus(files);
    static_cast<void>(ReadEvents(inotify));
    const auto fullMicros = std::chrono::duration_cast<std::chrono::microseconds>(fullTime).count();
    std::uniform_int_distribution<long> delay(0, std::max<long>(1000, static_cast<long>(fullMicros)));
    std::bernoulli_distribution resetAfter(0.3);

    unsigned long landed = 0;
    unsigned long midJob = 0;
    unsigned long withTemporaries = 0;
    unsigned long finishedFirst = 0;
    unsigned long completions = 0;
    std::vector<std::size_t> large; // the files of several MB that change
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (files[i].changes() && files[i].oldBytes.size() > (1u << 20)) {
            large.push_back(i);
        }
    }
    ASSERT_FALSE(large.empty());
    std::vector<bool> isNew(files.size(), false);
    std::uniform_int_distribution<std::size_t> pickAny(1, fullEvents);
    std::bernoulli_distribution largeFirst(0.7);

    std::size_t remaining = changing; // files the job has still to write
    for (unsigned long k = 1; k <= kills; ++k) {
        std::string context = "kill " + std::to_string(k);
        const pid_t pid = StartCli(JobArgs(root), {}, io);
        if (k % 2 == 1 || remaining == 0) {
            // The job left is shorter when earlier kills got further.
            const long wait = delay(rng) * static_cast<long>(remaining + 1) / static_cast<long>(changing + 1);
            context += " after " + std::to_string(wait) + " us";
            std::this_thread::sleep_for(std::chrono::microseconds(wait));
            ::kill(pid, SIGKILL);
        } else {
            // An event of one of the large files still to write (its backup, its temporaries, the
            // rename into place), or any event of the job.
            std::vector<std::string> largeLeft;
            for (std::size_t i : large) {
                if (!isNew[i]) {
                    largeLeft.push_back(fs::path(files[i].path).filename().string());
                }
            }
            const bool atLarge = !largeLeft.empty() && largeFirst(rng);
            const std::string name = atLarge ? largeLeft[rng() % largeLeft.size()] : "";
            const auto wanted = [&name](const std::string& event) {
                return name.empty() || event.rfind(name, 0) == 0 || event.rfind("." + name + ".", 0) == 0;
            };
            const std::size_t left = std::max<std::size_t>(1, fullEvents * remaining / changing);
            const unsigned nth = static_cast<unsigned>(atLarge ? 1 + rng() % 6 : 1 + pickAny(rng) % left);
            context += " at event " + std::to_string(nth) + (atLarge ? " of " + name : std::string(" of the job"));
            KillAtEvent(pid, inotify, wanted, nth);
        }
        const CliRun run = FinishCli(pid, io);
        static_cast<void>(ReadEvents(inotify)); // what is left of this run must not trigger the next kill
        if (run.signal == SIGKILL) {
            ++landed;
        } else {
            ++finishedFirst;
            EXPECT_EQ(run.exitCode, 0) << context << "\n" << run.err;
        }
        const TreeState state = CheckTree(root, files, context);
        midJob += state.newFiles > 0 && state.newFiles < changing ? 1 : 0;
        withTemporaries += state.temporaries > 0 ? 1 : 0;
        remaining = changing - state.newFiles;
        isNew = state.isNew;
        if (HasFailure()) {
            break;
        }
        // Now and then (and at the end) a complete run must finish the job whatever the kill left.
        if (resetAfter(rng) || k == kills) {
            const CliRun complete = RunCli(JobArgs(root), {}, io);
            EXPECT_EQ(complete.exitCode, 0) << context << ", then a complete run\n" << complete.err;
            const TreeState after = CheckTree(root, files, context + ", then a complete run");
            EXPECT_EQ(after.newFiles, changing) << context << ", then a complete run";
            EXPECT_EQ(after.temporaries, 0u) << context << ": a temporary outlived the complete run";
            ++completions;
            ResetCorpus(files);
            remaining = changing;
            isNew.assign(files.size(), false);
            static_cast<void>(ReadEvents(inotify));
        }
        if (HasFailure()) {
            break;
        }
    }
    std::cout << "[ figures  ] " << files.size() << " files, " << bytes / 1024 << " KiB, " << changing
              << " to change; a whole run " << fullMicros / 1000 << " ms; " << kills << " kills: " << landed
              << " landed (" << midJob << " mid-job, " << withTemporaries << " left a temporary), " << finishedFirst
              << " runs ended first; " << completions << " complete runs after kills; seed " << seed << "\n";
    ::close(inotify);
    EXPECT_GT(landed, 0u);
}
