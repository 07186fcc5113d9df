#pragma once
// Work on the items of a list side by side, handing the results out in the list's order.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace norvik::job {

/// Runs `work(i)` for i = 0 .. count-1 on `workers` threads and hands the results out in index order
/// (take). At most `window` items are in flight or waiting to be taken, no new item is started while
/// the results waiting hold more than `budget` (as `cost` counts them) unless none is waiting, and at
/// most `maxHolders` items are in flight or waiting that hold something scarce (as `holds` says; an
/// item in flight is counted as holding), so memory and handles stay bounded whatever the speed of
/// the consumer. The window can then be wide, so a long item in one worker's hands does not stop
/// the others. With no workers no thread is started
/// and take() does the work on the caller's thread: exactly the order and timing of a plain loop.
/// With workers, a take() whose result is not ready works on the next item not yet started instead of
/// sleeping: on small items a sleep and its wake-up cost more than the item.
///
/// A failure thrown by `work` is handed to the consumer with its item (take rethrows it). Destroying
/// the pool, or cancel(), drops what was not taken and waits for the items in hand to end; `work`
/// never calls back into the consumer, so nothing the consumer owns is touched after that.
template <class Result> class OrderedPool {
public:
    using Work = std::function<Result(std::size_t index)>;
    using Cost = std::function<std::size_t(const Result&)>;
    using Holds = std::function<bool(const Result&)>;

    OrderedPool(std::size_t count, unsigned workers, std::size_t window, std::size_t budget, Work work, Cost cost = {},
                Holds holds = {}, std::size_t maxHolders = 0)
        : m_count(count), m_window(window == 0 ? 1 : window), m_budget(budget),
          m_maxHolders(holds ? std::max<std::size_t>(maxHolders, 1) : 0), m_work(std::move(work)),
          m_cost(std::move(cost)), m_holds(std::move(holds)) {
        if (workers == 0) {
            return;
        }
        m_threads.reserve(workers);
        for (unsigned i = 0; i < workers; ++i) {
            try {
                m_threads.emplace_back([this] { runWorker(); });
            } catch (const std::system_error&) {
                break; // fewer threads (or none: then take() works alone) rather than no run at all
            }
        }
    }
    ~OrderedPool() { cancel(); }
    OrderedPool(const OrderedPool&) = delete;
    OrderedPool& operator=(const OrderedPool&) = delete;

    /// The result of the next index, waiting at most `wait` for it (besides the work on one later item
    /// the caller may do meanwhile); empty when it is not ready in that time (the caller may handle its events and ask
    /// again) or when every index was taken. Rethrows what `work` threw for that index.
    [[nodiscard]] std::optional<Result> take(std::chrono::milliseconds wait = std::chrono::hours(24)) {
        if (m_threads.empty()) {
            if (m_next >= m_count) {
                return std::nullopt;
            }
            return m_work(m_next++);
        }
        std::unique_lock lock(m_mutex);
        if (m_next >= m_count) {
            return std::nullopt;
        }
        const auto ready = [this] {
            return !m_slots.empty() && m_slots.front().done;
        };
        // The front item is in a worker's hands (never started here: the front may wait for the caller).
        while (!ready() && !m_cancelled && m_started > m_next && m_started < m_count && hasRoom()) {
            runOne(lock);
        }
        if (!ready()) {
            m_takerWaiting = true;
            const bool came = m_ready.wait_for(lock, wait, ready);
            m_takerWaiting = false;
            if (!came) {
                return std::nullopt;
            }
        }
        Slot slot = std::move(m_slots.front());
        m_slots.pop_front();
        ++m_next;
        m_held -= slot.cost;
        if (slot.holds) {
            --m_holders;
        }
        // Wake-ups cost more than the work on a small file: workers waiting for room are woken once
        // half the window (or half the holders' share) is free, not at every item.
        const bool wake = m_idleWorkers > 0 && hasRoom() &&
                          (m_slots.size() <= m_window / 2 || (slot.holds && m_holders <= m_maxHolders / 2));
        lock.unlock();
        if (wake) {
            m_room.notify_all();
        }
        if (slot.failure) {
            std::rethrow_exception(slot.failure);
        }
        return std::move(slot.result);
    }

    /// True when every index has been taken.
    [[nodiscard]] bool finished() const {
        std::lock_guard lock(m_mutex);
        return m_next >= m_count;
    }

    /// Drops every result not taken yet and stops the workers once the items in hand end.
    void cancel() {
        {
            std::lock_guard lock(m_mutex);
            if (m_cancelled) {
                return;
            }
            m_cancelled = true;
        }
        m_room.notify_all();
        for (std::thread& thread : m_threads) {
            thread.join();
        }
        m_threads.clear();
        m_slots.clear();
        m_next = m_count;
    }

private:
    struct Slot {
        bool done = false;
        std::optional<Result> result;
        std::exception_ptr failure;
        std::size_t cost = 0;
        bool holds = false;
    };

    // Needs m_mutex: room for one more item in flight.
    [[nodiscard]] bool hasRoom() const noexcept {
        // Over the budget, the results waiting go first: the front one is either waiting for take()
        // or in the hands of a worker, so the run always moves on.
        return m_slots.size() < m_window && (m_held == 0 || m_held <= m_budget) &&
               (m_maxHolders == 0 || m_holders < m_maxHolders);
    }

    void runWorker() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            if (!(m_cancelled || m_started >= m_count || hasRoom())) {
                ++m_idleWorkers;
                m_room.wait(lock, [this] { return m_cancelled || m_started >= m_count || hasRoom(); });
                --m_idleWorkers;
            }
            if (m_cancelled || m_started >= m_count) {
                return;
            }
            runOne(lock);
        }
    }

    /// Starts the next item and works on it, `lock` (on m_mutex) released meanwhile.
    void runOne(std::unique_lock<std::mutex>& lock) {
        const std::size_t index = m_started++;
        m_slots.emplace_back();
        if (m_maxHolders != 0) {
            ++m_holders; // until it is known not to hold
        }
        lock.unlock();
        Slot made;
        try {
            made.result.emplace(m_work(index));
            made.cost = m_cost ? m_cost(*made.result) : 0;
            made.holds = m_maxHolders != 0 && m_holds(*made.result);
        } catch (...) {
            made.result.reset();
            made.failure = std::current_exception();
        }
        made.done = true;
        lock.lock();
        if (m_cancelled) {
            return;
        }
        if (m_maxHolders != 0 && !made.holds) {
            --m_holders;
        }
        // The slot of `index` is still in the queue: only take() removes slots, and only done ones
        // from the front, in order.
        Slot& slot = m_slots[index - m_next];
        slot = std::move(made);
        m_held += slot.cost;
        if (index == m_next && m_takerWaiting) {
            m_ready.notify_one();
        }
    }

    const std::size_t m_count;
    const std::size_t m_window;
    const std::size_t m_budget;
    const std::size_t m_maxHolders; ///< 0: no bound
    const Work m_work;
    const Cost m_cost;
    const Holds m_holds;

    mutable std::mutex m_mutex;
    std::condition_variable m_room;  ///< workers wait here for room
    std::condition_variable m_ready; ///< take() waits here for the next result
    // Guarded by m_mutex (with no threads, used by take() alone):
    std::deque<Slot> m_slots; ///< indices m_next .. m_started - 1
    std::size_t m_next = 0;   ///< the index take() hands out next
    std::size_t m_started = 0;
    std::size_t m_held = 0;    ///< cost of the results waiting
    std::size_t m_holders = 0; ///< items in flight, and results waiting that hold something
    bool m_cancelled = false;
    bool m_takerWaiting = false; ///< take() waits for the front slot
    unsigned m_idleWorkers = 0;  ///< workers waiting for room
    std::vector<std::thread> m_threads;
};

/// The worker count for a setting: 0 means one per processor core.
[[nodiscard]] inline unsigned WorkerCount(unsigned setting) noexcept {
    if (setting != 0) {
        return setting;
    }
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

} // namespace norvik::job
