#include "job/WorkList.h"

#include <algorithm>

#include "filedeal/FolderScan.h"
#include "rules/SemicolonList.h"

namespace norvik::job {

std::vector<std::string> CollectWorkList(const std::vector<TargetEntry>& targets,
                                         const settings::ReplaceOptions& options, const std::function<void()>& yield,
                                         const std::function<bool()>& stopRequested,
                                         std::vector<std::string>* unreadableFolders) {
    std::vector<std::string> files;
    std::vector<std::string> unreadable;
    auto stopped = [&] {
        return stopRequested && stopRequested();
    };
    for (const TargetEntry& entry : targets) {
        if (!entry.checked) {
            continue;
        }
        if (entry.path.empty() || entry.path.back() != '/') {
            files.push_back(entry.path);
            continue;
        }
        for (const std::string& mask : rules::ReadSemicolonList(options.selectedTypes)) {
            if (stopped()) {
                return files;
            }
            if (!mask.empty()) {
                filedeal::ScanFolder(entry.path, options.subfolders, mask, files, yield,
                                     unreadableFolders != nullptr ? &unreadable : nullptr);
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
    return files;
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
