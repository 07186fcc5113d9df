#pragma once
// Loading the files of a work list on a second thread, ahead of the file in hand.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "filedeal/FileOps.h"
#include "job/LoadedFile.h"

namespace norvik::job {

/// Hands out the files of a work list in order, reading the next ones ahead on a worker thread so
/// that reading overlaps the work on the file in hand.
///
/// Every file is judged when its turn comes: take() looks at the path again, and a file read ahead
/// is used only when it is still the same file, unchanged (same device, inode, size, modification
/// and change times). A file the run has written since (always through a new inode: writes are
/// atomic renames), a duplicate in the list, a file created or removed meanwhile, all are loaded
/// again on the spot. The worker holds at most `budgetBytes` (plus one file) and `maxFiles` ahead;
/// a larger file is left to take(). The worker never calls back into the front end, so pause, stop
/// and the order of results stay the caller's business: destroying the object stops the worker.
class ReadAhead {
public:
    static constexpr std::size_t kDefaultBudget = std::size_t{16} << 20;
    static constexpr std::size_t kDefaultMaxFiles = 64;
    /// When take() has to wait, it waits for this many files (or a full budget) at once.
    static constexpr std::size_t kBatch = 8;

    /// `paths` must outlive the object and stay unchanged. A budget of 0 reads nothing ahead: no
    /// thread is started and take() reads each file on the spot.
    ReadAhead(const std::vector<std::string>& paths, LoadPolicy policy, std::size_t budgetBytes = kDefaultBudget,
              std::size_t maxFiles = kDefaultMaxFiles);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    /// The file at `index` as it is on disk now. Meant to be called for 0, 1, 2, ... in turn; an
    /// index that skips ahead drops what was read for the ones between, and an index already passed
    /// is loaded on the spot.
    [[nodiscard]] LoadedFile take(std::size_t index);

private:
    struct Slot {
        std::size_t index = 0;
        bool ready = false;        ///< read ahead; otherwise take() loads it
        bool decoded = false;      ///< the policy's text is made
        filedeal::FileStamp stamp; ///< taken before the read
        LoadedFile file;
        std::size_t cost = 0;
    };

    [[nodiscard]] Slot readSlot(const std::string& path, bool holdingNothing) const;
    [[nodiscard]] bool full() const noexcept;    // needs m_mutex
    [[nodiscard]] bool drained() const noexcept; // needs m_mutex
    void work();

    const std::vector<std::string>& m_paths;
    const LoadPolicy m_policy;
    const std::size_t m_budget;
    const std::size_t m_maxFiles;

    std::mutex m_mutex;
    std::condition_variable m_workerWake; ///< the worker waits here for room
    std::condition_variable m_takerWake;  ///< take() waits here for files
    // All guarded by m_mutex:
    std::deque<Slot> m_slots;      ///< what was read for the indices m_next .. m_loaded - 1
    std::size_t m_next = 0;        ///< the index take() hands out next
    std::size_t m_loaded = 0;      ///< the index the worker reads next
    std::size_t m_held = 0;        ///< bytes held by m_slots
    std::size_t m_takerTarget = 0; ///< take() waits until m_loaded reaches this
    bool m_takerWaiting = false;
    bool m_workerWaiting = false;
    bool m_cancel = false; ///< the owner is going away
    bool m_done = false;   ///< the worker has ended
    std::thread m_worker;  ///< started in the constructor's body; none for a budget of 0
};

} // namespace norvik::job
