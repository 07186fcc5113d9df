#pragma once
// Prints a job or a search as the window would show it: written paths and hits on standard output,
// error lines with their reasons on standard error, and an optional progress bar on standard error.
#include <chrono>
#include <functional>
#include <ostream>
#include <string>

#include "job/JobObserver.h"

namespace norvik::cli {

class ConsoleObserver : public job::JobObserver {
public:
    ConsoleObserver(std::ostream& out, std::ostream& err, bool progressBar);

    void yield() override;
    void filesCollected(std::size_t count) override;
    void progress(unsigned percent) override;
    void changedFile(const std::string& sourcePath) override;
    void resultLine(const std::string& path) override;
    void failure(const job::FileFailure& failure) override;
    void hit(const std::string& path) override;
    void summary(const std::string& text) override;
    void elapsed(const std::string& text) override;

    /// Clears the progress bar and flushes.
    void finish();
    /// Writes a dry run's diff in place of each path that would be written. The function writes
    /// the change from `source` to `target` to the stream, or writes nothing and returns why it
    /// cannot (an empty text when it wrote the diff). When it cannot, or throws before it writes
    /// (out of memory), the path is printed as without a diff, with that reason on the line after it: the
    /// file still counts as one the run would write.
    using DiffWriter =
        std::function<std::string(std::ostream& out, const std::string& source, const std::string& target)>;
    void setDiff(DiffWriter diff) { m_diff = std::move(diff); }

    [[nodiscard]] std::size_t errorCount() const noexcept { return m_errors; }

private:
    void drawBar(bool force);
    void clearBar();

    std::ostream& m_out;
    std::ostream& m_err;
    bool m_progressBar;
    DiffWriter m_diff;
    std::string m_changedSource; ///< the file last reported changed
    bool m_barShown = false;
    unsigned m_percent = 0;
    std::size_t m_files = 0;
    std::chrono::steady_clock::time_point m_lastDraw{};
    std::size_t m_errors = 0;
};

} // namespace norvik::cli
