#include "filedeal/FolderScan.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "filedeal/FileOps.h"
#include "filedeal/PathNames.h"

namespace norvik::filedeal {

namespace {

unsigned char FoldCase(unsigned char c) noexcept {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c;
}

bool Exists(const std::string& path) noexcept {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// A long-form temporary belongs to a write of ours when the file it was meant for is beside it, or,
// for a backup or an extraction file that was never finished, the source that file is made from.
bool HasOwner(const std::string& folder, const std::string& name) {
    const std::string target = TemporaryTargetOf(name);
    if (target.empty() || Exists(folder + target)) {
        return true;
    }
    for (const std::string_view suffix : {kBackupSuffix, kExtractSuffix}) {
        if (target.size() > suffix.size() && target.ends_with(suffix) &&
            Exists(folder + target.substr(0, target.size() - suffix.size()))) {
            return true;
        }
    }
    return false;
}

struct Entry {
    std::string name;
    bool isFolder; // a real folder, not a link to one
};

// The entries of a folder. `listed` is cleared when a folder that is there could not be opened or
// listed to the end; a folder that is gone (or is no folder) is simply empty.
std::vector<Entry> ListFolder(const std::string& folder, bool& listed, bool sweepTemporaries) {
    std::vector<Entry> entries;
    listed = true;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        listed = errno == ENOENT || errno == ENOTDIR;
        return entries;
    }
    // A folder that can be listed but not entered (read without search permission) shows names whose
    // files cannot be reached: they would look missing. Such a folder fails as a whole instead.
    struct stat self {};
    if (::lstat((folder + ".").c_str(), &self) != 0) {
        listed = errno == ENOENT || errno == ENOTDIR;
        ::closedir(dir);
        return entries;
    }
    for (;;) {
        errno = 0; // readdir gives null both at the end and on an error; only errno tells them apart
        const dirent* d = ::readdir(dir);
        if (d == nullptr) {
            listed = errno == 0;
            break;
        }
        const std::string name = d->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        if (IsTemporaryName(name)) {
            // A temporary file left by a write that was killed before its rename: the file it was
            // meant for still holds its old bytes, so the leftover is only clutter. A long-form name
            // is taken for one only when that file is there beside it, so that a user's own file that
            // merely looks like one is never touched. One that a writer still holds is in use.
            struct stat st {};
            if (::lstat((folder + name).c_str(), &st) == 0 && S_ISREG(st.st_mode) && HasOwner(folder, name)) {
                if (sweepTemporaries) {
                    static_cast<void>(RemoveUnlockedTemporary(folder + name));
                }
                continue;
            }
        }
        bool isFolder = d->d_type == DT_DIR;
        if (d->d_type == DT_UNKNOWN) {
            struct stat st {};
            isFolder = ::lstat((folder + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        }
        entries.push_back({name, isFolder});
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    // The backup of a file that is still there holds that file as it was before an earlier run: a
    // mask such as "*.*" must not hand it to this run, or a later restore would put back the wrong text.
    const auto present = [&entries](std::string_view name) {
        const auto it = std::lower_bound(entries.begin(), entries.end(), name,
                                         [](const Entry& e, std::string_view n) { return e.name < n; });
        return it != entries.end() && it->name == name;
    };
    std::vector<Entry> kept;
    kept.reserve(entries.size());
    for (const Entry& entry : entries) {
        const std::string_view name = entry.name;
        if (entry.isFolder || !(name.size() > kBackupSuffix.size() && name.ends_with(kBackupSuffix) &&
                                present(name.substr(0, name.size() - kBackupSuffix.size())))) {
            kept.push_back(entry); // copied: later names are still looked up in `entries`
        }
    }
    return kept;
}

void Scan(const std::string& folder, bool withSubfolders, std::string_view mask, std::vector<std::string>& result,
          const std::function<void()>& yield, std::vector<std::string>* unreadable, bool sweep) {
    bool listed = true;
    const std::vector<Entry> entries = ListFolder(folder, listed, sweep);
    if (!listed && unreadable != nullptr) {
        unreadable->push_back(folder);
    }
    for (const auto& entry : entries) {
        if (MatchesMask(entry.name, mask)) {
            result.push_back(folder + entry.name);
        }
        if (yield) {
            yield();
        }
    }
    if (!withSubfolders) {
        return;
    }
    for (const auto& entry : entries) {
        if (entry.isFolder) {
            Scan(folder + entry.name + "/", true, mask, result, yield, unreadable, sweep);
        }
        if (yield) {
            yield();
        }
    }
    if (yield) {
        yield();
    }
}

} // namespace

namespace {

bool MatchesWildcards(std::string_view name, std::string_view mask) noexcept;

// A mask "*.abc" with a three-letter extension also takes names whose last extension is longer and
// begins with it ("*.htm" takes "page.html"), as the users of such masks expect: they were written
// for systems that matched short file names too.
bool MatchesLongExtension(std::string_view name, std::string_view mask) noexcept {
    if (mask.size() != 5 || mask[0] != '*' || mask[1] != '.' ||
        mask.substr(2).find_first_of("*?.") != std::string_view::npos) {
        return false;
    }
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || name.size() - dot - 1 <= 3) {
        return false;
    }
    return MatchesWildcards(name.substr(dot + 1, 3), mask.substr(2));
}

} // namespace

bool MatchesMask(std::string_view name, std::string_view mask) noexcept {
    if (mask == "*.*" || mask == "*") {
        return true;
    }
    return MatchesWildcards(name, mask) || MatchesLongExtension(name, mask);
}

namespace {

// The length of the character at `at`: a whole well-formed UTF-8 sequence, or one byte.
std::size_t CharLength(std::string_view name, std::size_t at) noexcept {
    const auto lead = static_cast<unsigned char>(name[at]);
    const std::size_t length = lead < 0xC2 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 1;
    if (length == 1 || at + length > name.size()) {
        return 1;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(name[at + i]) & 0xC0) != 0x80) {
            return 1;
        }
    }
    return length;
}

bool MatchesWildcards(std::string_view name, std::string_view mask) noexcept {
    // Iterative wildcard match with one backtrack point: linear in practice, no recursion. '?' and
    // the star's backtracking step over whole characters, so "?.txt" takes "é.txt".
    std::size_t n = 0;
    std::size_t m = 0;
    std::size_t starMask = std::string_view::npos;
    std::size_t starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == '*') {
            starMask = m++;
            starName = n;
        } else if (m < mask.size() && mask[m] == '?') {
            ++m;
            n += CharLength(name, n);
        } else if (m < mask.size() &&
                   FoldCase(static_cast<unsigned char>(mask[m])) == FoldCase(static_cast<unsigned char>(name[n]))) {
            ++m;
            ++n;
        } else if (starMask != std::string_view::npos) {
            m = starMask + 1;
            starName += CharLength(name, starName);
            n = starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') {
        ++m;
    }
    return m == mask.size();
}

} // namespace

void ScanFolder(const std::string& folder, bool withSubfolders, std::string_view mask, std::vector<std::string>& result,
                const std::function<void()>& yield, std::vector<std::string>* unreadable, bool sweepTemporaries) {
    if (folder.empty()) {
        return;
    }
    const std::string base = WithTrailingSlash(folder);
    Scan(base, withSubfolders, mask, result, yield, unreadable, sweepTemporaries);
}

} // namespace norvik::filedeal
