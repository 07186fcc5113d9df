#include "settings/OptionTexts.h"

#include <algorithm>

namespace norvik::settings {

std::string OpenDialogFilter(const std::string& selectedTypes) {
    if (selectedTypes.empty()) {
        return "所有文件(*.*)|*.*";
    }
    return "支持文件类型(" + selectedTypes + ")|" + selectedTypes + "|所有文件(*.*)|*.*";
}

std::string OutputLineText(bool outputToFolder, const std::string& outputFolder) {
    if (outputToFolder) {
        return "输出目录:" + outputFolder + "     另存方式,无需备份";
    }
    return "输出目录:文件原始目录     覆盖方式,可做备份";
}

std::string FileTypeLineText(const std::string& selectedTypes) {
    return "当前操作的文件类型:" + selectedTypes;
}

bool IsValidFileType(const std::string& text) noexcept {
    bool hasDot = false;
    for (unsigned char c : text) {
        const bool ok =
            c == '*' || c == '.' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!ok) {
            return false;
        }
        hasDot = hasDot || c == '.';
    }
    return hasDot;
}

} // namespace norvik::settings
