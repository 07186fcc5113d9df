#include "job/FileSearch.h"

#include <chrono>
#include <cstdint>

#include "filedeal/FileOps.h"
#include "filedeal/TextCodec.h"
#include "job/JobTexts.h"
#include "job/WorkList.h"

namespace norvik::job {

namespace {

using Clock = std::chrono::steady_clock;

std::uint64_t MillisecondsSince(Clock::time_point start) {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

/// True when the file exists, can be read and its working text holds `text`.
bool FileHolds(const std::string& path, std::string_view text) {
    if (!filedeal::FileExists(path)) {
        return false;
    }
    std::string bytes;
    try {
        bytes = filedeal::ReadFileBytes(path);
    } catch (const filedeal::FileOpenError&) {
        return false;
    }
    const filedeal::EncodingKind kind = filedeal::DetectEncodingOfBytes(bytes);
    if (kind == filedeal::EncodingKind::Ansi && text.find_first_of("\r\n") == std::string_view::npos) {
        // An ANSI working text differs from the bytes only in its line breaks (no trail byte of the
        // code page is CR or LF), so a text of one line is found in the bytes as they are.
        return bytes.find(text) != std::string::npos;
    }
    const std::string working = filedeal::DecodeText(bytes, kind);
    return working.find(text) != std::string::npos;
}

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
    const std::vector<std::string> files = CollectWorkList(
        targets, options, [&observer] { observer.yield(); }, stopRequested);
    observer.filesCollected(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        observer.yield();
        if (stopped()) {
            result.status = SearchStatus::Stopped;
            break;
        }
        observer.progress(ProgressPercent(i, files.size()));
        if (FileHolds(files[i], text)) {
            result.hits.push_back(files[i]);
            observer.hit(files[i]);
        }
    }
    observer.summary(FoundFilesText(result.hits.size()));
    observer.elapsed(ElapsedText(MillisecondsSince(start)));
    return result;
}

} // namespace norvik::job
