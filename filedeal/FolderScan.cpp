#include "filedeal/FolderScan.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <dirent.h>
#include <iterator>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>
#include <utility>

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

enum class EntryKind : std::uint8_t {
    Folder, ///< a real folder, not a link to one
    Link,   ///< a symbolic link, to anything
    Other,  ///< a file, or anything else that is neither
};

struct Entry {
    std::string name;
    EntryKind kind = EntryKind::Other;
    std::uint64_t inode = 0; ///< as the listing gives it
    bool excluded = false;
};

struct Listing {
    std::vector<Entry> entries;
    bool listed = true;   ///< cleared when a folder that is there could not be opened or listed to the end
    FileIdentity self;    ///< the folder's own, known when it could be entered
    bool trusted = false; ///< the listing's inode numbers are those of the files, on the folder's device
};

// File systems whose listings give each entry's own inode number, and whose files sit on the device
// of their folder (mount points and subvolumes are folders, and folders are not identified from the
// listing; a single file bind-mounted over another is the one exception, taken as the file beneath).
// On any other file system (overlays, network and user-space file systems) each identity is taken
// with a stat.
bool ListsInodeNumbers(int fd) noexcept {
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0) {
        return false;
    }
    switch (static_cast<std::uint64_t>(fs.f_type)) {
    case 0xEF53:     // ext2, ext3, ext4
    case 0x01021994: // tmpfs
    case 0x58465342: // xfs
    case 0x9123683E: // btrfs
    case 0xF2F52010: // f2fs
        return true;
    default:
        return false;
    }
}

FileIdentity IdentityOf(const struct stat& st) noexcept {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), true};
}

// The identity of the file a path leads to, through links; unknown when nothing can be reached.
FileIdentity StatIdentity(const std::string& path) noexcept {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? IdentityOf(st) : FileIdentity{};
}

// Remembers per device whether its listings can be trusted, so that fstatfs runs once per device.
class DeviceTrust {
public:
    bool trusted(std::uint64_t device, int fd) {
        for (const auto& [known, trust] : m_devices) {
            if (known == device) {
                return trust;
            }
        }
        const bool trust = ListsInodeNumbers(fd);
        m_devices.emplace_back(device, trust);
        return trust;
    }

private:
    std::vector<std::pair<std::uint64_t, bool>> m_devices;
};

// The entries of a folder, sorted by name, without backups beside their file and the writer's
// temporaries. A folder that is gone (or is no folder) is simply empty.
Listing ListFolder(const std::string& folder, const FolderScanRequest& request, DeviceTrust& trust) {
    Listing listing;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        listing.listed = errno == ENOENT || errno == ENOTDIR;
        return listing;
    }
    // A folder that can be listed but not entered (read without search permission) shows names whose
    // files cannot be reached: they would look missing. Such a folder fails as a whole instead.
    struct stat self {};
    if (::lstat((folder + ".").c_str(), &self) != 0) {
        listing.listed = errno == ENOENT || errno == ENOTDIR;
        ::closedir(dir);
        return listing;
    }
    listing.self = IdentityOf(self);
    listing.trusted = !request.identifyByStat && trust.trusted(listing.self.device, ::dirfd(dir));
    std::vector<Entry>& entries = listing.entries;
    for (;;) {
        errno = 0; // readdir gives null both at the end and on an error; only errno tells them apart
        const dirent* d = ::readdir(dir);
        if (d == nullptr) {
            listing.listed = errno == 0;
            break;
        }
        const std::string name = d->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        // Excluded names are kept until the backups are judged (the backup of an excluded file is
        // still a backup), then dropped; nothing else looks at them.
        const bool excluded = IsExcludedName(name, request);
        if (!excluded && IsTemporaryName(name)) {
            // A temporary file left by a write that was killed before its rename: the file it was
            // meant for still holds its old bytes, so the leftover is only clutter. A long-form name
            // is taken for one only when that file is there beside it, so that a user's own file that
            // merely looks like one is never touched. One that a writer still holds is in use.
            struct stat st {};
            if (::lstat((folder + name).c_str(), &st) == 0 && S_ISREG(st.st_mode) && HasOwner(folder, name)) {
                if (request.sweepTemporaries) {
                    static_cast<void>(RemoveUnlockedTemporary(folder + name));
                }
                continue;
            }
        }
        Entry entry{name, EntryKind::Other, static_cast<std::uint64_t>(d->d_ino), excluded};
        if (d->d_type == DT_DIR) {
            entry.kind = EntryKind::Folder;
        } else if (d->d_type == DT_LNK) {
            entry.kind = EntryKind::Link;
        } else if (d->d_type == DT_UNKNOWN && !excluded) {
            struct stat st {};
            if (::lstat((folder + name).c_str(), &st) == 0) {
                entry.kind = S_ISDIR(st.st_mode)   ? EntryKind::Folder
                             : S_ISLNK(st.st_mode) ? EntryKind::Link
                                                   : EntryKind::Other;
                entry.inode = static_cast<std::uint64_t>(st.st_ino);
            }
        }
        entries.push_back(std::move(entry));
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
        if (!entry.excluded &&
            (entry.kind == EntryKind::Folder || !(name.size() > kBackupSuffix.size() && name.ends_with(kBackupSuffix) &&
                                                  present(name.substr(0, name.size() - kBackupSuffix.size()))))) {
            kept.push_back(entry); // copied: later names are still looked up in `entries`
        }
    }
    entries = std::move(kept);
    return listing;
}

// One walk through the tree for every mask. Each mask has its own list, filled in the order a scan for
// that mask alone gives (a folder's matches in name order, then its subfolders depth first); the
// lists are joined in mask order at the end.
class Walk {
public:
    Walk(const FolderScanRequest& request, ScannedFiles& found)
        : m_request(request), m_found(found), m_paths(request.masks.size()), m_identities(request.masks.size()) {}

    void run(const std::string& folder) {
        static_cast<void>(visit(folder));
        for (std::size_t mask = 0; mask < m_paths.size(); ++mask) {
            m_found.paths.insert(m_found.paths.end(), std::make_move_iterator(m_paths[mask].begin()),
                                 std::make_move_iterator(m_paths[mask].end()));
            m_found.identities.insert(m_found.identities.end(), m_identities[mask].begin(), m_identities[mask].end());
        }
    }

private:
    void yield() const {
        if (m_request.yield) {
            m_request.yield();
        }
    }

    FileIdentity identify(const std::string& path, const Entry& entry, const Listing& listing) const {
        if (entry.kind == EntryKind::Other && listing.trusted) {
            return {listing.self.device, entry.inode, true};
        }
        return StatIdentity(path);
    }

    // Lists the folder and its subfolders; gives the folder's own identity (known when entered).
    FileIdentity visit(const std::string& folder) {
        if (m_request.stopRequested && m_request.stopRequested()) {
            m_found.stopped = true;
            return {};
        }
        const Listing listing = ListFolder(folder, m_request, m_trust);
        if (!listing.listed) {
            m_found.unreadable.push_back(folder);
        }
        // A folder matched by a mask is identified once it is entered (its listing's number may be
        // that of a mount point or subvolume, not of the folder seen through it).
        struct MatchedFolder {
            std::size_t entry;
            std::size_t mask;
            std::size_t at;
        };
        std::vector<MatchedFolder> matchedFolders;
        for (std::size_t e = 0; e < listing.entries.size(); ++e) {
            const Entry& entry = listing.entries[e];
            std::string path;
            FileIdentity identity;
            for (std::size_t mask = 0; mask < m_request.masks.size(); ++mask) {
                if (m_request.masks[mask].empty() || !MatchesMask(entry.name, m_request.masks[mask])) {
                    continue;
                }
                if (path.empty()) {
                    path = folder + entry.name;
                    if (entry.kind != EntryKind::Folder) {
                        identity = identify(path, entry, listing);
                    }
                }
                if (entry.kind == EntryKind::Folder) {
                    matchedFolders.push_back({e, mask, m_paths[mask].size()});
                }
                m_paths[mask].push_back(path);
                m_identities[mask].push_back(identity);
            }
            yield();
        }
        std::vector<FileIdentity> folderIdentities(listing.entries.size());
        if (m_request.withSubfolders) {
            for (std::size_t e = 0; e < listing.entries.size(); ++e) {
                const Entry& entry = listing.entries[e];
                if (entry.kind == EntryKind::Folder && !m_found.stopped) {
                    folderIdentities[e] = visit(folder + entry.name + "/");
                    yield();
                }
            }
        }
        for (const MatchedFolder& matched : matchedFolders) {
            FileIdentity& identity = folderIdentities[matched.entry];
            if (!identity.known && !m_found.stopped) {
                identity = StatIdentity(m_paths[matched.mask][matched.at]);
            }
            m_identities[matched.mask][matched.at] = identity;
        }
        yield();
        return listing.self;
    }

    const FolderScanRequest& m_request;
    ScannedFiles& m_found;
    std::vector<std::vector<std::string>> m_paths;       // per mask
    std::vector<std::vector<FileIdentity>> m_identities; // per mask, parallel to m_paths
    DeviceTrust m_trust;
};

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

bool IsExcludedName(std::string_view name, const FolderScanRequest& request) noexcept {
    if (request.skipVersionControl &&
        std::find(kVersionControlNames.begin(), kVersionControlNames.end(), name) != kVersionControlNames.end()) {
        return true;
    }
    return std::any_of(request.excludeMasks.begin(), request.excludeMasks.end(),
                       [name](const std::string& mask) { return !mask.empty() && MatchesMask(name, mask); });
}

void ScanFolderForMasks(const std::string& folder, const FolderScanRequest& request, ScannedFiles& found) {
    if (folder.empty()) {
        return;
    }
    Walk(request, found).run(WithTrailingSlash(folder));
}

void ScanFolder(const std::string& folder, bool withSubfolders, std::string_view mask, std::vector<std::string>& result,
                const std::function<void()>& yield, std::vector<std::string>* unreadable, bool sweepTemporaries) {
    FolderScanRequest request;
    request.masks = {std::string(mask)};
    request.withSubfolders = withSubfolders;
    request.sweepTemporaries = sweepTemporaries;
    request.yield = yield;
    ScannedFiles found;
    ScanFolderForMasks(folder, request, found);
    result.insert(result.end(), std::make_move_iterator(found.paths.begin()),
                  std::make_move_iterator(found.paths.end()));
    if (unreadable != nullptr) {
        unreadable->insert(unreadable->end(), found.unreadable.begin(), found.unreadable.end());
    }
}

} // namespace norvik::filedeal
