#include "cli/ConsoleObserver.h"

#include <exception>
#include <new>

#include "job/JobTexts.h"
#include "job/TextDiff.h"

namespace norvik::cli {

ConsoleObserver::ConsoleObserver(std::ostream& out, std::ostream& err, bool progressBar)
    : m_out(out), m_err(err), m_progressBar(progressBar) {}

void ConsoleObserver::yield() {
    drawBar(false);
}

void ConsoleObserver::filesCollected(std::size_t count) {
    m_files = count;
}

void ConsoleObserver::progress(unsigned percent) {
    m_percent = percent;
    drawBar(false);
}

void ConsoleObserver::changedFile(const std::string& sourcePath) {
    m_changedSource = sourcePath;
}

void ConsoleObserver::resultLine(const std::string& path) {
    clearBar();
    if (!m_diff) {
        m_out << path << '\n';
        return;
    }
    std::string reason;
    try {
        reason = m_diff(m_out, m_changedSource, path);
    } catch (const std::bad_alloc&) {
        reason = "not enough memory to compare this file";
    } catch (const std::exception& error) {
        reason = error.what(); // whatever it was, the file is still one the run would write
    }
    if (!reason.empty()) {
        // Quoted like a diff header, so the name cannot pass for one either.
        m_out << job::DiffPathName(path) << "\n(no diff: " << reason << ")\n";
    }
}

void ConsoleObserver::failure(const job::FileFailure& failure) {
    clearBar();
    ++m_errors;
    m_out.flush();
    m_err << job::ErrorLineWithReason(failure) << '\n';
}

void ConsoleObserver::hit(const std::string& path) {
    clearBar();
    m_out << path << '\n';
}

void ConsoleObserver::summary(const std::string& text) {
    clearBar();
    m_out << text << '\n';
}

void ConsoleObserver::elapsed(const std::string& text) {
    clearBar();
    m_out << text << '\n';
}

void ConsoleObserver::finish() {
    clearBar();
    m_out.flush();
    m_err.flush();
}

void ConsoleObserver::drawBar(bool force) {
    if (!m_progressBar) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!force && m_barShown && now - m_lastDraw < std::chrono::milliseconds(100)) {
        return;
    }
    m_lastDraw = now;
    constexpr unsigned kWidth = 30;
    const unsigned filled = m_percent * kWidth / 100;
    m_err << "\r[" << std::string(filled, '#') << std::string(kWidth - filled, ' ') << "] " << m_percent << "% of "
          << m_files << " files" << std::flush;
    m_barShown = true;
}

void ConsoleObserver::clearBar() {
    if (m_barShown) {
        m_err << "\r\033[K" << std::flush;
        m_barShown = false;
    }
}

} // namespace norvik::cli
