#pragma once
// What a front end sees of a job or a search. The engine calls these on its own thread, in order;
// every text is UTF-8 and every path the file system's own bytes. The defaults do nothing, so a
// front end overrides only what it shows.
#include <cstddef>
#include <string>

#include "job/JobTypes.h"

namespace norvik::job {

class JobObserver {
public:
    virtual ~JobObserver() = default;

    /// Called where long work lets the front end breathe: the window handles its waiting events
    /// here (Pause, Stop and close reach the engine this way), the command line draws its progress.
    /// Called at the top of every file, during folder scans, inside feature rules and, about every
    /// 10 ms, while paused.
    virtual void yield() {}

    /// The file list is complete (`count` files). A job empties its result and error lists and shows
    /// its result tab; a search empties its hit list.
    virtual void filesCollected(std::size_t count) { static_cast<void>(count); }

    /// The percent of the file about to be handled (see ProgressPercent); not called for no file.
    virtual void progress(unsigned percent) { static_cast<void>(percent); }

    /// The source path of a file whose text the rules changed (the window's Label3).
    virtual void changedFile(const std::string& sourcePath) { static_cast<void>(sourcePath); }

    /// A path that was written (the result list).
    virtual void resultLine(const std::string& path) { static_cast<void>(path); }

    /// A failure with its reason; its line in the error list is ErrorLineText(failure.path). The first
    /// one of a run tells the window to show its error tab.
    virtual void failure(const FileFailure& failure) { static_cast<void>(failure); }

    /// A search hit, in search order.
    virtual void hit(const std::string& path) { static_cast<void>(path); }

    /// The job's summary line or the search's "找到文件%u个", at the end (also after a stop).
    virtual void summary(const std::string& text) { static_cast<void>(text); }

    /// The elapsed time ("耗时%u分%u秒%u毫秒"), last of all; never after an abandoned run.
    virtual void elapsed(const std::string& text) { static_cast<void>(text); }
};

} // namespace norvik::job
