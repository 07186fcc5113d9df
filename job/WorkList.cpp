#include "job/WorkList.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <unordered_set>
#include <utility>

#include "filedeal/FileOps.h"
#include "filedeal/FolderScan.h"
#include "filedeal/PathNames.h"
#include "filedeal/SemicolonList.h"

namespace norvik::job {

namespace {

struct IdentityHash {
    std::size_t operator()(const std::pair<std::uint64_t, std::uint64_t>& id) const noexcept {
        return std::hash<std::uint64_t>{}(id.second * 0x9E3779B97F4A7C15ULL ^ id.first);
    }
};

// Keeps the first path of each known identity, with the identities parallel; unknown ones all stay.
void KeepFirstOfEachIdentity(std::vector<std::string>& paths, std::vector<filedeal::FileIdentity>& identities) {
    std::unordered_set<std::pair<std::uint64_t, std::uint64_t>, IdentityHash> seen;
    seen.reserve(paths.size());
    std::size_t kept = 0;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const filedeal::FileIdentity& identity = identities[i];
        if (identity.known && !seen.emplace(identity.device, identity.inode).second) {
            continue;
        }
        if (kept != i) {
            paths[kept] = std::move(paths[i]);
            identities[kept] = identity;
        }
        ++kept;
    }
    paths.resize(kept);
    identities.resize(kept);
}

filedeal::FileIdentity IdentityOfPath(const std::string& path) noexcept {
    filedeal::FileStamp stamp;
    if (!filedeal::StampOf(path, stamp)) {
        return {};
    }
    return {stamp.device, stamp.inode, true};
}

} // namespace

std::vector<std::string> CollectWorkList(const std::vector<TargetEntry>& targets,
                                         const settings::ReplaceOptions& options, const std::function<void()>& yield,
                                         const std::function<bool()>& stopRequested,
                                         std::vector<std::string>* unreadableFolders, bool sweepTemporaries,
                                         std::vector<filedeal::FileIdentity>* identities) {
    filedeal::ScannedFiles found;
    for (const TargetEntry& entry : targets) {
        if (!entry.checked) {
            continue;
        }
        if (!filedeal::IsFolderPath(entry.path)) {
            found.paths.push_back(entry.path);
            found.identities.push_back(IdentityOfPath(entry.path));
            continue;
        }
        if (stopRequested && stopRequested()) {
            break;
        }
        filedeal::FolderScanRequest request;
        request.masks = filedeal::ReadSemicolonList(options.selectedTypes);
        request.withSubfolders = options.subfolders;
        request.excludeMasks = filedeal::ReadSemicolonList(options.excludeMasks);
        request.skipVersionControl = options.defaultExcludes;
        request.sweepTemporaries = sweepTemporaries;
        request.yield = yield;
        request.stopRequested = stopRequested;
        const std::size_t unreadableBefore = found.unreadable.size();
        filedeal::ScanFolderForMasks(entry.path, request, found);
        // Two targets may reach one folder: name it once, however often it failed.
        if (unreadableFolders != nullptr) {
            for (std::size_t i = unreadableBefore; i < found.unreadable.size(); ++i) {
                std::string& folder = found.unreadable[i];
                if (std::find(unreadableFolders->begin(), unreadableFolders->end(), folder) ==
                    unreadableFolders->end()) {
                    unreadableFolders->push_back(folder);
                }
            }
        }
        if (found.stopped) {
            break;
        }
    }
    KeepFirstOfEachIdentity(found.paths, found.identities);
    if (identities != nullptr) {
        *identities = std::move(found.identities);
    }
    return std::move(found.paths);
}

void KeepFirstOfEachFile(std::vector<std::string>& paths, std::vector<filedeal::FileIdentity>* identities) {
    std::vector<filedeal::FileIdentity> known;
    known.reserve(paths.size());
    for (const std::string& path : paths) {
        known.push_back(IdentityOfPath(path));
    }
    KeepFirstOfEachIdentity(paths, known);
    if (identities != nullptr) {
        *identities = std::move(known);
    }
}

std::vector<std::string> TickedPaths(const std::vector<TargetEntry>& entries) {
    std::vector<std::string> paths;
    for (const TargetEntry& entry : entries) {
        if (entry.checked) {
            paths.push_back(entry.path);
        }
    }
    return paths;
}

} // namespace norvik::job
