#include "settings/ui/ToolkitGaps.h"

#include <cstring>

namespace norvik::ui {

namespace {

struct Gap {
    const char* context;
    const char* source;
    const char* text; // UTF-8
};

// The file dialog's type column names folders and drives with these; qtbase's zh_CN translation
// still has them under the context of an older class.
constexpr Gap kSimplifiedChinese[] = {
    {"QAbstractFileIconProvider", "Folder", "文件夹"},
    {"QAbstractFileIconProvider", "Drive", "驱动器"},
    {"QAbstractFileIconProvider", "File", "文件"},
    {"QAbstractFileIconProvider", "%1 File", "%1 文件"},
};

} // namespace

QString ToolkitGaps::translate(const char* context, const char* sourceText, const char* disambiguation, int n) const {
    static_cast<void>(disambiguation);
    static_cast<void>(n);
    if (m_locale != QLatin1String("zh_CN") || context == nullptr || sourceText == nullptr) {
        return {};
    }
    for (const Gap& gap : kSimplifiedChinese) {
        if (std::strcmp(gap.context, context) == 0 && std::strcmp(gap.source, sourceText) == 0) {
            return QString::fromUtf8(gap.text);
        }
    }
    return {};
}

bool ToolkitGaps::isEmpty() const {
    return m_locale != QLatin1String("zh_CN");
}

} // namespace norvik::ui
