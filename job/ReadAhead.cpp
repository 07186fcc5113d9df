#include "job/ReadAhead.h"

#include <sys/stat.h>

#include "filedeal/FileOps.h"

namespace norvik::job {

namespace {

LoadedFile ReadNow(const std::string& path, const LoadPolicy& policy) {
    LoadedFile file;
    try {
        file.bytes = filedeal::ReadFileBytes(path);
    } catch (const filedeal::FileOpenError&) {
        file.state = LoadedFile::State::Unreadable;
        return file;
    }
    file.state = LoadedFile::State::Loaded;
    file.kind = filedeal::DetectEncodingOfBytes(file.bytes);
    const bool ansi = file.kind == filedeal::EncodingKind::Ansi;
    if (ansi && policy.ansiAsBytes) {
        return file;
    }
    file.text = filedeal::DecodeText(file.bytes, file.kind);
    if (ansi || !policy.keepUnicodeBytes) {
        std::string().swap(file.bytes);
    }
    return file;
}

} // namespace

LoadedFile LoadFile(const std::string& path, const LoadPolicy& policy) {
    if (!filedeal::FileExists(path)) {
        return {};
    }
    return ReadNow(path, policy);
}

ReadAhead::ReadAhead(const std::vector<std::string>& paths, LoadPolicy policy, std::size_t budgetBytes,
                     std::size_t maxFiles)
    : m_paths(paths), m_policy(policy), m_budget(budgetBytes), m_maxFiles(maxFiles == 0 ? 1 : maxFiles),
      m_worker([this] { work(); }) {}

ReadAhead::~ReadAhead() {
    {
        std::lock_guard lock(m_mutex);
        m_cancel = true;
    }
    m_changed.notify_all();
    m_worker.join();
}

bool ReadAhead::StampOf(const std::string& path, Stamp& stamp) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    stamp.device = static_cast<std::uint64_t>(st.st_dev);
    stamp.inode = static_cast<std::uint64_t>(st.st_ino);
    stamp.size = static_cast<std::uint64_t>(st.st_size);
    stamp.modifiedSec = st.st_mtim.tv_sec;
    stamp.modifiedNsec = st.st_mtim.tv_nsec;
    stamp.changedSec = st.st_ctim.tv_sec;
    stamp.changedNsec = st.st_ctim.tv_nsec;
    return true;
}

ReadAhead::Slot ReadAhead::readSlot(const std::string& path) const {
    Slot slot;
    // A missing file, one too large for the budget and one that failed are left for take(), which
    // looks at every file again anyway. The stamp is taken before the read: a change during or after
    // it shows as a different stamp when the file's turn comes.
    Stamp before;
    if (!StampOf(path, before) || before.size > m_budget) {
        return slot;
    }
    LoadedFile file = ReadNow(path, m_policy);
    if (file.state != LoadedFile::State::Loaded) {
        return slot;
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
        m_changed.wait(lock, [this] { return m_cancel || (m_slots.size() < m_maxFiles && m_held < m_budget); });
        if (m_cancel) {
            break;
        }
        const std::size_t index = m_loaded;
        lock.unlock();
        Slot slot;
        try {
            slot = readSlot(m_paths[index]);
        } catch (...) {
            slot = Slot(); // out of memory and the like: take() tries again on its own
        }
        slot.index = index;
        lock.lock();
        if (m_loaded != index) {
            continue; // take() skipped past this index meanwhile
        }
        ++m_loaded;
        if (index >= m_next) {
            m_held += slot.cost;
            m_slots.push_back(std::move(slot));
        }
        m_changed.notify_all();
    }
    m_done = true;
    m_changed.notify_all();
}

LoadedFile ReadAhead::take(std::size_t index) {
    const std::string& path = m_paths[index];
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
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_loaded > index || m_done; });
        if (!m_slots.empty() && m_slots.front().index == index) {
            slot = std::move(m_slots.front());
            m_held -= slot.cost;
            m_slots.pop_front();
        }
        m_next = index + 1;
    }
    m_changed.notify_all();

    // The file is judged now: used as read ahead only when it is still that very file, unchanged.
    Stamp now;
    if (!StampOf(path, now)) {
        return {};
    }
    if (slot.ready && slot.stamp == now) {
        return std::move(slot.file);
    }
    return ReadNow(path, m_policy);
}

} // namespace norvik::job
