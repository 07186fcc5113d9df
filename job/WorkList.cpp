#include "job/WorkList.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <utility>

#include "filedeal/FileOps.h"
#include "filedeal/FolderScan.h"
#include "filedeal/PathNames.h"
#include "filedeal/SemicolonList.h"

namespace norvik::job {

std::vector<std::string> CollectWorkList(const std::vector<TargetEntry>& targets,
                                         const settings::ReplaceOptions& options, const std::function<void()>& yield,
                                         const std::function<bool()>& stopRequested,
                                         std::vector<std::string>* unreadableFolders, bool sweepTemporaries) {
    std::vector<std::string> files;
    std::vector<std::string> unreadable;
    auto stopped = [&] {
        return stopRequested && stopRequested();
    };
    for (const TargetEntry& entry : targets) {
        if (!entry.checked) {
            continue;
        }
        if (!filedeal::IsFolderPath(entry.path)) {
            files.push_back(entry.path);
            continue;
        }
        for (const std::string& mask : filedeal::ReadSemicolonList(options.selectedTypes)) {
            if (stopped()) {
                KeepFirstOfEachFile(files);
                return files;
            }
            if (!mask.empty()) {
                filedeal::ScanFolder(entry.path, options.subfolders, mask, files, yield,
                                     unreadableFolders != nullptr ? &unreadable : nullptr, sweepTemporaries);
            }
            // Each mask scans the folders again: name a folder once, however often it failed.
            for (std::string& folder : unreadable) {
                if (std::find(unreadableFolders->begin(), unreadableFolders->end(), folder) ==
                    unreadableFolders->end()) {
                    unreadableFolders->push_back(std::move(folder));
                }
            }
            unreadable.clear();
        }
    }
    KeepFirstOfEachFile(files);
    return files;
}

void KeepFirstOfEachFile(std::vector<std::string>& paths) {
    std::set<std::pair<std::uint64_t, std::uint64_t>> seen;
    std::erase_if(paths, [&seen](const std::string& path) {
        filedeal::FileStamp stamp;
        return filedeal::StampOf(path, stamp) && !seen.emplace(stamp.device, stamp.inode).second;
    });
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
