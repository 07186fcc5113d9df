#include "job/FileSearch.h"

#include <chrono>
#include <cstdint>
#include <exception>
#include <new>

#include "filedeal/Replace.h"
#include "filedeal/TextCodec.h"
#include "job/JobTexts.h"
#include "job/LoadedFile.h"
#include "job/ReadAhead.h"
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

} // namespace

SearchResult FindFiles(const std::vector<TargetEntry>& targets, std::string_view text,
                       const settings::ReplaceOptions& options, JobObserver& observer,
                       const std::function<bool()>& stopRequested, std::size_t readAheadBudget) {
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
    policy.decodeAhead = false; // the worker reads, this thread decodes and searches: both stay busy
    const filedeal::RawTextFilter filter({std::string(text)}, filedeal::RawTextFilter::Place::Anywhere, false);
    policy.filter = &filter;
    policy.filterDecides = true;
    policy.readLargeAhead = true; // the search holds no more than the bytes and text of the file in hand
    ReadAhead ahead(files, policy, readAheadBudget);
    for (std::size_t i = 0; i < files.size(); ++i) {
        observer.yield();
        if (stopped()) {
            result.status = SearchStatus::Stopped;
            break;
        }
        observer.progress(ProgressPercent(i, files.size()));
        bool holds = false;
        try {
            const LoadedFile file = ahead.take(i);
            if (file.state == LoadedFile::State::Unreadable || file.state == LoadedFile::State::Undecodable) {
                // A file the search could not read, or UTF-8 that does not decode, may hold the text:
                // named with its reason, and the search goes on.
                ++result.failures;
                observer.failure({files[i], files[i],
                                  file.state == LoadedFile::State::Unreadable ? FailureReason::Unreadable
                                                                              : FailureReason::Undecodable});
                continue;
            }
            holds = Holds(file, text, policy);
        } catch (const std::bad_alloc&) {
            // One file too large for the memory left: named, and the search goes on.
            ++result.failures;
            observer.failure({files[i], files[i], FailureReason::OutOfMemory});
            continue;
        } catch (const std::exception&) {
            ++result.failures;
            observer.failure({files[i], files[i], FailureReason::Unreadable});
            continue;
        }
        if (holds) {
            result.hits.push_back(files[i]);
            observer.hit(files[i]);
        }
    }
    observer.summary(FoundFilesText(result.hits.size()));
    observer.elapsed(ElapsedText(MillisecondsSince(start)));
    return result;
}

} // namespace norvik::job
