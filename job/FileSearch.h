#pragma once
// The search tab's core: which of the files a job would handle contain a text.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "job/JobObserver.h"
#include "job/JobTypes.h"
#include "settings/ReplaceOptions.h"

namespace norvik::job {

enum class SearchStatus {
    Finished,      ///< every file was looked at; count and elapsed time were reported
    Stopped,       ///< a stop request ended it early; count and elapsed time were reported
    NothingToFind, ///< the search text was empty: nothing happened, nothing was reported
    Busy,          ///< a run or a search was already under way: nothing happened
};

struct SearchResult {
    SearchStatus status = SearchStatus::Finished;
    std::vector<std::string> hits; ///< in search order
    std::size_t failures = 0;      ///< error lines: folders and files that could not be searched
};

/// Collects the files of the ticked targets as a job does (CollectWorkList, with the subfolder flag
/// and selected types of `options`, each file once) but deletes nothing: leftover temporaries are
/// only skipped. Reports filesCollected, then for each file:
/// yield, progress, and a hit when the file exists, can be read and its working text holds `text`.
/// The match is a plain byte search: always case-sensitive whatever the job's case option, and
/// without the double-byte boundary test of replacement (the first occurrence anywhere counts, but
/// never one inside the four-byte code of a character beyond the code page; see FindAnywhere). Since
/// an ANSI file's working text ends every line with CR LF, a text of several lines (CR LF between
/// them) matches across the lines of an ANSI file whatever breaks it stores. Missing files and files
/// that cannot be read are skipped silently and the search goes on; a folder that cannot be listed or
/// entered, a UTF-8 file that does not decode, and a file that cannot be searched for lack of memory,
/// are error lines (they may hold the text) and the search goes on. Ends with summary
/// ("找到文件%u个") and elapsed (the scans included). An empty `text` does nothing.
/// `stopRequested`, checked before each file, ends the search early. Files are read and judged on
/// WorkerCount(options.jobs) threads (one: all on the caller's thread), each read in chunks and only
/// as far as its answer needs; hits and error lines come in the order of the files whatever the count.
[[nodiscard]] SearchResult FindFiles(const std::vector<TargetEntry>& targets, std::string_view text,
                                     const settings::ReplaceOptions& options, JobObserver& observer,
                                     const std::function<bool()>& stopRequested = {});

} // namespace norvik::job
