#include "job/ReadAhead.h"

#include <algorithm>

namespace norvik::job {

namespace {

LoadedFile ReadNow(const std::string& path, const LoadPolicy& policy) {
    LoadedFile file = ReadUndecoded(path);
    DecodeLoaded(file, policy);
    return file;
}

} // namespace

ReadAhead::ReadAhead(const std::vector<std::string>& paths, LoadPolicy policy, std::size_t budgetBytes,
                     std::size_t maxFiles)
    : m_paths(paths), m_policy(policy), m_budget(budgetBytes), m_maxFiles(std::max<std::size_t>(maxFiles, 1)) {
    if (m_budget > 0) {
        m_worker = std::thread([this] { work(); });
    }
}

ReadAhead::~ReadAhead() {
    if (!m_worker.joinable()) {
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_cancel = true;
    }
    m_workerWake.notify_one();
    m_worker.join();
}

bool ReadAhead::full() const noexcept {
    return m_slots.size() >= m_maxFiles || m_held >= m_budget;
}

bool ReadAhead::drained() const noexcept {
    return m_slots.size() <= m_maxFiles / 2 && m_held <= m_budget / 2;
}

ReadAhead::Slot ReadAhead::readSlot(const std::string& path, bool holdingNothing) const {
    Slot slot;
    // A missing file, one too large for the budget and one that failed are left for take(), which
    // looks at every file again anyway. The stamp is taken before the read: a change during or after
    // it shows as a different stamp when the file's turn comes.
    filedeal::FileStamp before;
    if (StampForLoad(path, before) != LoadedFile::State::Loaded ||
        (before.size > m_budget && !(m_policy.readLargeAhead && holdingNothing))) {
        return slot;
    }
    LoadedFile file = ReadUndecoded(path);
    if (file.state != LoadedFile::State::Loaded) {
        return slot;
    }
    if (m_policy.decodeAhead) {
        DecodeLoaded(file, m_policy);
        slot.decoded = true;
    }
    slot.ready = true;
    slot.stamp = before;
    slot.cost = file.bytes.capacity() + file.text.capacity();
    slot.file = std::move(file);
    return slot;
}

void ReadAhead::work() {
    std::unique_lock lock(m_mutex);
    while (!m_cancel && m_loaded < m_paths.size()) {
        if (full()) {
            // Wait until take() has used half of what is held, not for every single file: fewer
            // wake-ups for both threads.
            m_workerWaiting = true;
            m_workerWake.wait(lock, [this] { return m_cancel || drained(); });
            m_workerWaiting = false;
            if (m_cancel) {
                break;
            }
        }
        const std::size_t index = m_loaded;
        const bool holdingNothing = m_slots.empty();
        lock.unlock();
        Slot slot;
        try {
            slot = readSlot(m_paths[index], holdingNothing);
        } catch (...) {
            slot = Slot(); // out of memory and the like: take() tries again on its own
        }
        slot.index = index;
        lock.lock();
        if (m_loaded != index) {
            continue; // take() skipped past this index meanwhile
        }
        ++m_loaded;
        m_held += slot.cost;
        m_slots.push_back(std::move(slot));
        if (m_takerWaiting && (m_loaded >= m_takerTarget || full())) {
            m_takerWake.notify_one();
        }
    }
    m_done = true;
    if (m_takerWaiting) {
        m_takerWake.notify_one();
    }
}

LoadedFile ReadAhead::take(std::size_t index) {
    const std::string& path = m_paths[index];
    if (!m_worker.joinable()) {
        return LoadFile(path, m_policy);
    }
    Slot slot;
    {
        std::unique_lock lock(m_mutex);
        if (index < m_next) {
            lock.unlock();
            return LoadFile(path, m_policy);
        }
        m_next = index;
        while (!m_slots.empty() && m_slots.front().index < index) {
            m_held -= m_slots.front().cost;
            m_slots.pop_front();
        }
        if (m_loaded < index) {
            m_loaded = index; // the worker goes on from here
        }
        if (m_loaded <= index && !m_done) {
            // Wait for a few files at once rather than for each: fewer wake-ups for both threads.
            m_takerTarget = std::min(index + kBatch, m_paths.size());
            m_takerWaiting = true;
            if (m_workerWaiting && drained()) {
                m_workerWake.notify_one();
            }
            m_takerWake.wait(lock,
                             [&] { return m_done || (m_loaded > index && (m_loaded >= m_takerTarget || full())); });
            m_takerWaiting = false;
        }
        if (!m_slots.empty() && m_slots.front().index == index) {
            slot = std::move(m_slots.front());
            m_held -= slot.cost;
            m_slots.pop_front();
        }
        m_next = index + 1;
        if (m_workerWaiting && drained()) {
            m_workerWake.notify_one();
        }
    }

    // The file is judged now: used as read ahead only when it is still that very file, unchanged.
    filedeal::FileStamp now;
    if (const LoadedFile::State state = StampForLoad(path, now); state != LoadedFile::State::Loaded) {
        LoadedFile file;
        file.state = state;
        return file;
    }
    if (!slot.ready || !slot.stamp.sameState(now)) {
        return ReadNow(path, m_policy);
    }
    if (!slot.decoded) {
        DecodeLoaded(slot.file, m_policy);
    }
    return std::move(slot.file);
}

} // namespace norvik::job
