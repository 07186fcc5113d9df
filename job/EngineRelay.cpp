#include "job/EngineRelay.h"

#include <utility>

namespace norvik::job {

EngineRelay::~EngineRelay() {
    if (m_thread.joinable()) {
        hold(false);
        {
            const std::lock_guard lock(m_mutex);
            m_pace = Pace::Free;
            m_queued.clear();
        }
        m_engineWakes.notify_all();
        m_thread.join();
    }
}

void EngineRelay::start(std::function<void(JobObserver&)> work, Pace pace) {
    {
        const std::lock_guard lock(m_mutex);
        m_queued.clear();
        m_apply = {};
        m_pace = pace;
        m_yields = 0;
        m_resumed = 0;
        m_held = false;
        m_done = false;
        m_error = nullptr;
    }
    m_thread = std::thread([this, work = std::move(work)] {
        std::exception_ptr error;
        try {
            work(*this);
        } catch (...) {
            error = std::current_exception();
        }
        {
            const std::lock_guard lock(m_mutex);
            m_error = error;
            m_done = true;
        }
        m_frontWakes.notify_all();
    });
}

bool EngineRelay::pump(JobObserver& target, std::chrono::steady_clock::time_point until) {
    std::vector<Report> reports;
    bool done = false;
    {
        std::unique_lock lock(m_mutex);
        if (m_pace == Pace::Lockstep) {
            m_frontWakes.wait(lock, [this] { return m_done || m_yields > m_resumed; });
        } else {
            m_frontWakes.wait_until(lock, until, [this] { return m_done; });
        }
        reports.swap(m_queued);
        done = m_done;
    }
    m_engineWakes.notify_all(); // room in the queue again
    for (Report& report : reports) {
        switch (report.kind) {
        case Report::Kind::FilesCollected:
            target.filesCollected(report.number);
            break;
        case Report::Kind::Progress:
            target.progress(static_cast<unsigned>(report.number));
            break;
        case Report::Kind::Changed:
            target.changedFile(report.text);
            break;
        case Report::Kind::Result:
            target.resultLine(report.text);
            break;
        case Report::Kind::Failure:
            target.failure(report.failure);
            break;
        case Report::Kind::Hit:
            target.hit(report.text);
            break;
        case Report::Kind::Summary:
            target.summary(report.text);
            break;
        case Report::Kind::Elapsed:
            target.elapsed(report.text);
            break;
        }
    }
    if (!done) {
        return true;
    }
    m_thread.join();
    if (m_error) {
        std::rethrow_exception(std::exchange(m_error, nullptr));
    }
    return false;
}

void EngineRelay::resume(std::function<void()> apply) {
    {
        const std::lock_guard lock(m_mutex);
        if (apply) {
            m_apply = std::move(apply);
        }
        m_resumed = m_yields;
    }
    m_engineWakes.notify_all();
}

void EngineRelay::hold(bool held) {
    {
        const std::lock_guard lock(m_mutex);
        m_held = held;
    }
    m_engineWakes.notify_all();
}

void EngineRelay::yield() {
    std::function<void()> apply;
    {
        std::unique_lock lock(m_mutex);
        ++m_yields;
        if (m_pace == Pace::Lockstep) {
            m_frontWakes.notify_all();
        }
        const std::uint64_t mine = m_yields;
        m_engineWakes.wait(
            lock, [&] { return !m_held && (m_pace == Pace::Free ? m_queued.size() < kMaxQueued : m_resumed >= mine); });
        apply = std::move(m_apply);
        m_apply = {};
    }
    if (apply) {
        apply();
    }
}

void EngineRelay::queue(Report report) {
    {
        const std::lock_guard lock(m_mutex);
        m_queued.push_back(std::move(report));
    }
    // A free front end takes its reports at its own pace; only the end of the work wakes it early.
}

void EngineRelay::filesCollected(std::size_t count) {
    queue({Report::Kind::FilesCollected, count, {}, {}});
}

void EngineRelay::progress(unsigned percent) {
    queue({Report::Kind::Progress, percent, {}, {}});
}

void EngineRelay::changedFile(const std::string& sourcePath) {
    queue({Report::Kind::Changed, 0, sourcePath, {}});
}

void EngineRelay::resultLine(const std::string& path) {
    queue({Report::Kind::Result, 0, path, {}});
}

void EngineRelay::failure(const FileFailure& failure) {
    queue({Report::Kind::Failure, 0, {}, failure});
}

void EngineRelay::hit(const std::string& path) {
    queue({Report::Kind::Hit, 0, path, {}});
}

void EngineRelay::summary(const std::string& text) {
    queue({Report::Kind::Summary, 0, text, {}});
}

void EngineRelay::elapsed(const std::string& text) {
    queue({Report::Kind::Elapsed, 0, text, {}});
}

} // namespace norvik::job
