#pragma once
// What the job tests share: an observer that records every call, small file helpers, and the
// fixture of a run on a temporary folder.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "job/JobEngine.h"
#include "job/JobObserver.h"
#include "job/JobTexts.h"
#include "job/JobTypes.h"

namespace norvik::test {

/// Records everything the engine reports; optional hooks let a test act from inside a run, as a
/// window does from its event pump.
struct Recorder : job::JobObserver {
    std::vector<std::size_t> collected;
    std::vector<unsigned> percents;
    std::vector<std::string> changed, results, errors, hits, summaries, elapsedTexts;
    std::vector<job::FileFailure> failures; ///< the failures behind `errors`, with their reasons
    std::size_t yields = 0;
    std::function<void()> onYield;
    std::function<void(unsigned)> onProgress;

    void yield() override {
        ++yields;
        if (onYield) {
            onYield();
        }
    }
    void filesCollected(std::size_t count) override { collected.push_back(count); }
    void progress(unsigned percent) override {
        percents.push_back(percent);
        if (onProgress) {
            onProgress(percent);
        }
    }
    void changedFile(const std::string& path) override { changed.push_back(path); }
    void resultLine(const std::string& path) override { results.push_back(path); }
    void failure(const job::FileFailure& failure) override {
        errors.push_back(job::ErrorLineText(failure.path));
        failures.push_back(failure);
    }
    void hit(const std::string& path) override { hits.push_back(path); }
    void summary(const std::string& text) override { summaries.push_back(text); }
    void elapsed(const std::string& text) override { elapsedTexts.push_back(text); }
};

inline std::string PathText(const std::filesystem::path& path) {
    return path.string();
}

inline job::TargetEntry FileTarget(const std::filesystem::path& path, bool checked = true) {
    return {path.string(), checked};
}

inline job::TargetEntry FolderTarget(const std::filesystem::path& path, bool checked = true) {
    return {path.string() + "/", checked};
}

/// Moves a file's modification time an hour back, so that any rewrite would show.
inline std::filesystem::file_time_type AgeFile(const std::filesystem::path& path) {
    const auto past = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    std::filesystem::last_write_time(path, past);
    return std::filesystem::last_write_time(path);
}

inline bool OwnerWritable(const std::filesystem::path& path) {
    return (std::filesystem::status(path).permissions() & std::filesystem::perms::owner_write) !=
           std::filesystem::perms::none;
}

inline void MakeReadOnly(const std::filesystem::path& path) {
    std::filesystem::permissions(path,
                                 std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                                     std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);
}

/// A run on a temporary folder: files put there, typed rules, the targets and the engine.
class JobRun : public ::testing::Test {
protected:
    TempDir dir;
    settings::ReplaceOptions options;
    job::JobEngine engine{options};
    Recorder rec;
    job::JobRequest request;

    std::filesystem::path put(const std::string& name, std::string_view bytes) {
        const std::filesystem::path path = dir / name;
        std::filesystem::create_directories(path.parent_path());
        WriteBytes(path, bytes);
        return path;
    }
    void rule(std::string find, std::string replacement) {
        request.rules.texts.find = std::move(find);
        request.rules.texts.replacement = std::move(replacement);
    }
    void target(const std::filesystem::path& path) { request.targets.push_back(FileTarget(path)); }
    job::RunResult run() { return engine.run(request, rec); }
};

} // namespace norvik::test
