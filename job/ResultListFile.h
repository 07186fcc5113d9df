#pragma once
// The result list on disk, written as the run goes: one path a line, each line handed to the system
// as soon as its file is written, so a run that is stopped, killed or cut off still leaves the undo
// information (the input of restore) for every file it wrote.
#include <string>
#include <string_view>

#include "filedeal/FileDescriptor.h"

namespace norvik::job {

class ResultListFile {
public:
    ResultListFile() = default;
    ~ResultListFile();
    ResultListFile(const ResultListFile&) = delete;
    ResultListFile& operator=(const ResultListFile&) = delete;

    /// Opens (or creates) the list at `path` for writing, so that a list that cannot be written is
    /// known before any file is. Its old lines stay until start(): a run that does not start keeps
    /// the list of the run before. Never waits: a pipe without a reader is refused. False (with
    /// error() set) when the list cannot be opened.
    [[nodiscard]] bool open(const std::string& path);

    /// Empties the list (once; a pipe or device is left as it is). append() starts it by itself; a run
    /// that wrote nothing calls it so the list says so.
    bool start();

    /// Writes `path` and a line break in one piece. After a failed write no further line is written
    /// (a list with a gap would restore the wrong files silently) and false is given from then on.
    bool append(std::string_view path);

    /// Closes the list. False when it, or any line before, could not be written.
    [[nodiscard]] bool close();

    [[nodiscard]] bool isOpen() const noexcept { return m_file.valid(); }
    [[nodiscard]] bool failed() const noexcept { return m_failed; }
    /// The system's description of the first failure.
    [[nodiscard]] const std::string& error() const noexcept { return m_error; }

private:
    void setFailed(int err);

    filedeal::FileDescriptor m_file;
    bool m_started = false;
    bool m_failed = false;
    std::string m_error;
    std::string m_line; // reused for each line
};

} // namespace norvik::job
