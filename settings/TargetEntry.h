#pragma once
// One line of the target list, as the job works on it and the settings file stores it.
#include <string>

namespace norvik::settings {

/// A path (file system bytes) and its tick. A folder path ends with '/'; the trailing '/' alone
/// tells a folder from a file (the disk is not asked).
struct TargetEntry {
    std::string path;
    bool checked = true;

    friend bool operator==(const TargetEntry&, const TargetEntry&) = default;
};

} // namespace norvik::settings
