#include "job/FileSearch.h"

#include <chrono>
#include <cstdint>
#include <exception>
#include <new>
#include <optional>

#include "filedeal/Replace.h"
#include "filedeal/TextCodec.h"
#include "job/JobTexts.h"
#include "job/LoadedFile.h"
#include "job/OrderedPool.h"
#include "job/WorkList.h"

namespace norvik::job {

namespace {

/// True when the loaded file's working text holds `text`.
bool Holds(const LoadedFile& file, std::string_view text, const LoadPolicy& policy) {
    if (file.state != LoadedFile::State::Loaded) {
        return false; // missing (an unreadable file is reported by the caller)
    }
    if (file.verdict != filedeal::RawVerdict::Unknown) {
        return file.verdict == filedeal::RawVerdict::Holds; // judged from the bytes, exactly
    }
    // An ANSI file kept as bytes (see the load policy) differs from its working text only in its
    // line breaks, and no trail byte of the code page is CR or LF, so a one-line text is found in
    // the bytes as they are.
    const bool asBytes = policy.ansiAsBytes && file.kind == filedeal::EncodingKind::Ansi;
    const std::string& haystack = asBytes ? file.bytes : file.text;
    const auto set = file.beyondCodePage ? filedeal::CharacterSet::Unicode : filedeal::CharacterSet::CodePage;
    return filedeal::FindAnywhere(haystack, text, set) != std::string::npos;
}

/// What the search makes of one file: a hit, nothing, or an error line with its reason.
struct FileAnswer {
    bool hit = false;
    std::optional<FailureReason> failure;
};

/// Looks at one file; safe on any thread (the policy and its filter are only read).
FileAnswer AnswerFor(const std::string& path, std::string_view text, const LoadPolicy& policy) {
    FileAnswer answer;
    try {
        const LoadedFile file = LoadFile(path, policy);
        if (file.state == LoadedFile::State::Unreadable) {
            answer.failure = FailureReason::Unreadable;
        } else if (file.state == LoadedFile::State::Undecodable) {
            answer.failure = FailureReason::Undecodable;
        } else {
            answer.hit = Holds(file, text, policy);
        }
    } catch (const std::bad_alloc&) {
        answer.failure = FailureReason::OutOfMemory; // one file too large for the memory left
    } catch (const std::exception&) {
        answer.failure = FailureReason::Unreadable;
    }
    return answer;
}

/// Files in flight or waiting per worker: enough to keep every worker busy past a large file.
constexpr std::size_t kWindowPerWorker = 2048;
/// How long the caller waits for the next file before it yields to its front end again.
constexpr std::chrono::milliseconds kWaitSlice{50};

} // namespace

SearchResult FindFiles(const std::vector<TargetEntry>& targets, std::string_view text,
                       const settings::ReplaceOptions& options, JobObserver& observer,
                       const std::function<bool()>& stopRequested) {
    SearchResult result;
    if (text.empty()) {
        result.status = SearchStatus::NothingToFind;
        return result;
    }
    const Clock::time_point start = Clock::now();
    auto stopped = [&] {
        return stopRequested && stopRequested();
    };
    std::vector<std::string> unreadableFolders;
    const std::vector<std::string> files = CollectWorkList(
        targets, options, [&observer] { observer.yield(); }, stopRequested, &unreadableFolders);
    observer.filesCollected(files.size());
    // A folder the search could not look into may hide hits: the list is not the whole answer.
    for (const std::string& folder : unreadableFolders) {
        ++result.failures;
        observer.failure({folder, folder, FailureReason::FolderUnreadable});
    }
    LoadPolicy policy;
    policy.ansiAsBytes = text.find_first_of("\r\n") == std::string_view::npos;
    const filedeal::RawTextFilter filter({std::string(text)}, filedeal::RawTextFilter::Place::Anywhere, false);
    policy.filter = &filter;
    policy.filterDecides = true;
    const unsigned workers = WorkerCount(options.jobs);
    // An answer is a few bytes, so the window alone bounds what waits; each worker holds one chunk,
    // or one whole file when only its text can tell.
    // One worker is this thread itself: a thread would only add hand-overs.
    OrderedPool<FileAnswer> pool(files.size(), workers < 2 ? 0 : workers, kWindowPerWorker * workers, 0,
                                 [&](std::size_t i) { return AnswerFor(files[i], text, policy); });
    for (std::size_t i = 0; i < files.size(); ++i) {
        observer.yield();
        if (stopped()) {
            result.status = SearchStatus::Stopped;
            break;
        }
        observer.progress(ProgressPercent(i, files.size()));
        std::optional<FileAnswer> answer = pool.take(kWaitSlice);
        while (!answer && !stopped()) {
            observer.yield(); // the front end stays responsive while a large file is read
            answer = pool.take(kWaitSlice);
        }
        if (!answer) {
            result.status = SearchStatus::Stopped;
            break;
        }
        if (answer->failure) {
            // A file the search could not read, or UTF-8 that does not decode, may hold the text:
            // named with its reason, and the search goes on.
            ++result.failures;
            observer.failure({files[i], files[i], *answer->failure});
        } else if (answer->hit) {
            result.hits.push_back(files[i]);
            observer.hit(files[i]);
        }
    }
    observer.summary(FoundFilesText(result.hits.size()));
    observer.elapsed(ElapsedText(MillisecondsSince(start)));
    return result;
}

} // namespace norvik::job
