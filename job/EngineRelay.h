#pragma once
// Runs a piece of engine work (a run, a search, a restore of a run) on a thread of its own, and hands
// what it reports to the front end's thread, in the order it was reported.
//
// The front end calls pump() in a loop: it waits for its turn, then replays the reports to the front
// end's own observer on the front end's thread. Between pumps the front end handles its events; what
// those change for the engine (its options) is posted and applied on the engine's thread at its next
// yield, so the engine never reads anything the front end writes at the same time.
//
// Two paces: Free, where the engine never waits for the front end (it reports into a queue, bounded
// so a slow front end cannot make it grow without end), and Lockstep, where every yield of the engine
// waits until the front end has pumped once, so the front end sees each file in turn (as a scripted
// front end needs to click at a given file).
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "job/JobObserver.h"

namespace norvik::job {

class EngineRelay final : private JobObserver {
public:
    enum class Pace { Free, Lockstep };

    /// Reports a free engine may queue ahead of the front end before its next yield waits.
    static constexpr std::size_t kMaxQueued = 65536;

    EngineRelay() = default;
    EngineRelay(const EngineRelay&) = delete;
    EngineRelay& operator=(const EngineRelay&) = delete;
    /// Waits for work still under way (the front end normally pumps it to its end first).
    ~EngineRelay();

    /// Starts `work` on a new thread; it reports to the observer it is given. Only one piece of work
    /// at a time: call it again once pump() gave false.
    void start(std::function<void(JobObserver&)> work, Pace pace);
    /// True from start() until pump() has given false.
    [[nodiscard]] bool active() const noexcept { return m_thread.joinable(); }

    /// Waits until it is the front end's turn (Free: `until`; Lockstep: the engine yields) or the work
    /// ends, then replays what was reported since the last pump to `target`. False once the work has
    /// ended and all of it was replayed; an exception the work threw is thrown here then.
    bool pump(JobObserver& target, std::chrono::steady_clock::time_point until);
    /// Lets an engine waiting in lockstep go on, after `apply` (if any) runs on its thread.
    void resume(std::function<void()> apply = {});
    /// While held, the engine waits at its next yield (a question to the user is on show).
    void hold(bool held);

private:
    struct Report {
        enum class Kind { FilesCollected, Progress, Changed, Result, Failure, Hit, Summary, Elapsed } kind;
        std::size_t number = 0;
        std::string text;
        FileFailure failure;
    };

    // What the engine calls, on its own thread.
    void yield() override;
    void filesCollected(std::size_t count) override;
    void progress(unsigned percent) override;
    void changedFile(const std::string& sourcePath) override;
    void resultLine(const std::string& path) override;
    void failure(const FileFailure& failure) override;
    void hit(const std::string& path) override;
    void summary(const std::string& text) override;
    void elapsed(const std::string& text) override;
    void queue(Report report);

    std::mutex m_mutex;
    std::condition_variable m_engineWakes; ///< the engine waits here (lockstep, hold, full queue)
    std::condition_variable m_frontWakes;  ///< the front end waits here
    std::vector<Report> m_queued;
    std::function<void()> m_apply; ///< posted by the front end, run by the engine at its next yield
    Pace m_pace = Pace::Free;
    std::uint64_t m_yields = 0;  ///< yields of the engine so far
    std::uint64_t m_resumed = 0; ///< yields the front end has answered (lockstep)
    bool m_held = false;
    bool m_done = false;
    std::exception_ptr m_error;
    std::thread m_thread;
};

} // namespace norvik::job
