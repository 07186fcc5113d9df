#include "filedeal/PathNames.h"

namespace norvik::filedeal {

std::string BackupPathOf(std::string_view path) {
    return std::string(path) + std::string(kBackupSuffix);
}

bool IsFolderPath(std::string_view path) noexcept {
    return path.ends_with('/');
}

std::string WithTrailingSlash(std::string path) {
    if (!path.empty() && !path.ends_with('/')) {
        path += '/';
    }
    return path;
}

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.ends_with('/')) {
        path.pop_back();
    }
    return path;
}

std::string ParentFolderOf(std::string_view path) {
    const std::size_t end = path.find_last_not_of('/');
    if (end == std::string_view::npos) {
        return "/";
    }
    const std::size_t slash = path.rfind('/', end);
    return slash == std::string_view::npos ? std::string("./") : std::string(path.substr(0, slash + 1));
}

} // namespace norvik::filedeal
