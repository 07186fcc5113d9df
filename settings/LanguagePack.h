#pragma once
// Language packs: one XML file per language in the "lang/" folder beside the executable, shaped like
// the settings file, whose key elements are component names and whose values are captions.
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "settings/SettingsDocument.h"

namespace norvik::settings {

/// The Language menu has room for this many entries.
inline constexpr std::size_t kMaxLanguages = 255;

/// The pack folder: the executable's folder (ending with '/') followed by "lang/".
[[nodiscard]] std::string LanguageFolderOf(std::string_view exeFolder);

/// The locale of the toolkit's own texts (file dialogs, standard buttons) that go with a pack:
/// "zh_CN" for "Chinese_Simplified", "zh_TW" for "Chinese_Traditional", a few other common languages
/// by their English names; empty for "English" and for names it does not know (the toolkit's own
/// English then stays).
[[nodiscard]] std::string ToolkitLocaleOf(std::string_view packName);

/// The pack of a language: the pack folder + name + ".xml".
[[nodiscard]] std::string LanguagePackPath(std::string_view languageFolder, std::string_view name);

struct LanguageList {
    bool folderExists = false;
    /// Pack names: the regular files whose names end with ".xml" in any letter case, without those
    /// four characters, sorted by file name with ASCII letter case ignored; at most kMaxLanguages.
    std::vector<std::string> names;

    /// The Language menu is shown only when the folder exists and holds at least one pack.
    [[nodiscard]] bool showsMenu() const noexcept { return folderExists && !names.empty(); }
    /// The names joined by ";".
    [[nodiscard]] std::string text() const;
    /// The Language menu's entries: text() split by the list reading rule (a blank inside a name
    /// splits it), at most kMaxLanguages.
    [[nodiscard]] std::vector<std::string> menuEntries() const;
};

/// Lists the packs of `languageFolder`. A missing folder gives folderExists false and no names.
[[nodiscard]] LanguageList ListLanguages(const std::filesystem::path& languageFolder);
/// Lists the packs of several folders as one: folderExists when any of them exists; a name found in
/// more than one folder is listed once.
[[nodiscard]] LanguageList ListLanguages(const std::vector<std::filesystem::path>& languageFolders);

/// The pack of a language in the first of `languageFolders` (each ending with '/') that has an entry of
/// that name, so a user's own pack hides the shipped one; none has it: the path in the last folder.
/// No folders: the empty text.
[[nodiscard]] std::string FindLanguagePack(const std::vector<std::string>& languageFolders, std::string_view name);

/// One loaded pack.
class LanguagePack {
public:
    /// Loads a pack; on failure the pack is empty (see SettingsDocument::loadFile).
    [[nodiscard]] LoadResult loadFile(const std::filesystem::path& path) { return m_doc.loadFile(path); }
    [[nodiscard]] bool isLoaded() const noexcept { return m_doc.isLoaded(); }

    /// The caption for a component: the readSetting rule (first match, trimmed; missing gives the
    /// empty text). Throws SettingsError for an element with other content than one text node.
    [[nodiscard]] std::string lookupCaption(std::string_view component) const { return m_doc.readSetting(component); }

private:
    SettingsDocument m_doc;
};

enum class CaptionWindow : std::uint8_t { Main, RuleEditor };

/// One caption a pack sets, in the order a pack is applied.
struct CaptionKey {
    int group;                   ///< 1 to 8
    CaptionWindow window;        ///< whose component it is
    std::string_view component;  ///< the component (objectName) and, unless copied, the pack key
    std::string_view caption;    ///< the built-in caption; empty for separators
    std::string_view menuParent; ///< group 1: the top-level item it sits under; empty for top-level items
    std::string_view copyFrom;   ///< groups 6 and 8: the component whose new caption it takes
    bool separator = false;      ///< a toolbar separator (its pack entry is kept empty)
};

/// The Language menu's component; its entries are never looked up while its caption reads
/// kLanguageMenuCaption.
inline constexpr std::string_view kLanguageMenu = "N18";
inline constexpr std::string_view kLanguageMenuCaption = "Language";

// clang-format off
inline constexpr std::array<CaptionKey, 82> kCaptionKeys = {{
    // 1. The main window's menu bar: each top-level item, then the items under it.
    {1, CaptionWindow::Main, "N1", "文件", "", "", false},
    {1, CaptionWindow::Main, "N2", "退出", "N1", "", false},
    {1, CaptionWindow::Main, "N14", "功能", "", "", false},
    {1, CaptionWindow::Main, "N13", "从备份恢复原文件", "N14", "", false},
    {1, CaptionWindow::Main, "N11", "参数配置", "N14", "", false},
    {1, CaptionWindow::Main, "N16", "多重替换设置", "N14", "", false},
    {1, CaptionWindow::Main, "N18", "Language", "", "", false},
    {1, CaptionWindow::Main, "N8", "替换方式", "", "", false},
    {1, CaptionWindow::Main, "N10", "一般批量替换", "N8", "", false},
    {1, CaptionWindow::Main, "N9", "特征字符串之间替换", "N8", "", false},
    {1, CaptionWindow::Main, "N17", "特征提取", "N8", "", false},
    {1, CaptionWindow::Main, "N4", "其他", "", "", false},
    {1, CaptionWindow::Main, "N5", "帮助", "N4", "", false},
    {1, CaptionWindow::Main, "N7", "关于本软件", "N4", "", false},
    // 2. The main toolbar, in toolbar order, separators included.
    {2, CaptionWindow::Main, "ToolButton17", "+文件夹", "", "", false},
    {2, CaptionWindow::Main, "ToolButton9", "+文件", "", "", false},
    {2, CaptionWindow::Main, "ToolButton16", "", "", "", true},
    {2, CaptionWindow::Main, "ToolButton14", "配置", "", "", false},
    {2, CaptionWindow::Main, "ToolButton1", "批量设置", "", "", false},
    {2, CaptionWindow::Main, "ToolButton8", "", "", "", true},
    {2, CaptionWindow::Main, "ToolButton3", "一般替换", "", "", false},
    {2, CaptionWindow::Main, "ToolButton4", "特征替换", "", "", false},
    {2, CaptionWindow::Main, "ToolButton11", "特征提取", "", "", false},
    {2, CaptionWindow::Main, "ToolButton12", "", "", "", true},
    {2, CaptionWindow::Main, "ToolButton10", "恢复", "", "", false},
    {2, CaptionWindow::Main, "ToolButton5", "", "", "", true},
    {2, CaptionWindow::Main, "ToolButton6", "帮助", "", "", false},
    {2, CaptionWindow::Main, "ToolButton7", "关于", "", "", false},
    {2, CaptionWindow::Main, "ToolButton2", "提意见", "", "", false},
    // 3. The main window's controls.
    {3, CaptionWindow::Main, "TabSheet4", "替换源目标", "", "", false},
    {3, CaptionWindow::Main, "TabSheet5", "替换结果", "", "", false},
    {3, CaptionWindow::Main, "TabSheet7", "查找", "", "", false},
    {3, CaptionWindow::Main, "TabSheet2", "出错", "", "", false},
    {3, CaptionWindow::Main, "SpeedButton3", "查找", "", "", false},
    {3, CaptionWindow::Main, "CheckBox2", "替换前备份", "", "", false},
    {3, CaptionWindow::Main, "CheckBox5", "区分大小写", "", "", false},
    {3, CaptionWindow::Main, "CheckBox3", "包含子文件夹", "", "", false},
    {3, CaptionWindow::Main, "CheckBox1", "多内容替换", "", "", false},
    {3, CaptionWindow::Main, "CheckBox4", "只读文件强制替换", "", "", false},
    {3, CaptionWindow::Main, "TabSheet1", "一般替换", "", "", false},
    {3, CaptionWindow::Main, "TabSheet6", "特征替换", "", "", false},
    {3, CaptionWindow::Main, "Label1", "查找内容", "", "", false},
    {3, CaptionWindow::Main, "Label2", "替换内容", "", "", false},
    {3, CaptionWindow::Main, "Label4", "起始特征字符串", "", "", false},
    {3, CaptionWindow::Main, "Label5", "结束特征字符串", "", "", false},
    {3, CaptionWindow::Main, "Label6", "替换内容", "", "", false},
    {3, CaptionWindow::Main, "SpeedButton2", "开始", "", "", false},
    {3, CaptionWindow::Main, "SpeedButton4", "暂停", "", "", false},
    {3, CaptionWindow::Main, "SpeedButton5", "停止", "", "", false},
    // 4. The pop-up menus of the target list (PopupMenu1) and of the search hits (PopupMenu3).
    {4, CaptionWindow::Main, "N3", "添加目标文件夹", "", "", false},
    {4, CaptionWindow::Main, "N12", "添加目标文件", "", "", false},
    {4, CaptionWindow::Main, "N26", "手动添加目标路径", "", "", false},
    {4, CaptionWindow::Main, "N6", "全选", "", "", false},
    {4, CaptionWindow::Main, "N22", "反选", "", "", false},
    {4, CaptionWindow::Main, "N27", "删除", "", "", false},
    {4, CaptionWindow::Main, "N28", "清空", "", "", false},
    {4, CaptionWindow::Main, "N19", "全选", "", "", false},
    {4, CaptionWindow::Main, "N20", "反选", "", "", false},
    // 5. The rule editor's toolbar; its separators share their names (and pack entries) with the
    // main toolbar's.
    {5, CaptionWindow::RuleEditor, "MToolButton4", "新建规则", "", "", false},
    {5, CaptionWindow::RuleEditor, "MToolButton1", "加载规则", "", "", false},
    {5, CaptionWindow::RuleEditor, "MToolButton15", "保存规则", "", "", false},
    {5, CaptionWindow::RuleEditor, "MToolButton2", "关闭规则", "", "", false},
    {5, CaptionWindow::RuleEditor, "ToolButton16", "", "", "", true},
    {5, CaptionWindow::RuleEditor, "MToolButton14", "配置", "", "", false},
    {5, CaptionWindow::RuleEditor, "ToolButton8", "", "", "", true},
    {5, CaptionWindow::RuleEditor, "MToolButton3", "帮助", "", "", false},
    // 6. Rule editor tabs, copied from the main window's tabs.
    {6, CaptionWindow::RuleEditor, "MTabSheet1", "一般替换", "", "TabSheet1", false},
    {6, CaptionWindow::RuleEditor, "MTabSheet2", "特征替换", "", "TabSheet6", false},
    // 7. Rule editor controls that are looked up.
    {7, CaptionWindow::RuleEditor, "MPanel3", "替换目标", "", "", false},
    {7, CaptionWindow::RuleEditor, "MPanel2", "替换内容", "", "", false},
    {7, CaptionWindow::RuleEditor, "MPanel5", "替换为", "", "", false},
    {7, CaptionWindow::RuleEditor, "MPanel11", "前特征字符串", "", "", false},
    {7, CaptionWindow::RuleEditor, "MPanel10", "后特征字符串", "", "", false},
    {7, CaptionWindow::RuleEditor, "MPanel8", "替换内容", "", "", false},
    {7, CaptionWindow::RuleEditor, "MPanel15", "替换规则", "", "", false},
    {7, CaptionWindow::RuleEditor, "MButton2", "增加", "", "", false},
    {7, CaptionWindow::RuleEditor, "MButton1", "修改", "", "", false},
    {7, CaptionWindow::RuleEditor, "MButton3", "删除", "", "", false},
    // 8. Rule editor controls copied from the ones above (the feature tab's twins).
    {8, CaptionWindow::RuleEditor, "MButton5", "增加", "", "MButton2", false},
    {8, CaptionWindow::RuleEditor, "MButton4", "修改", "", "MButton1", false},
    {8, CaptionWindow::RuleEditor, "MButton6", "删除", "", "MButton3", false},
    {8, CaptionWindow::RuleEditor, "MPanel16", "替换规则", "", "MPanel15", false},
}};
// clang-format on

/// Captions of parts added after the fixed key order was set (the preview). Looked up after every
/// key above; a pack without them (one written before they existed) leaves the caption as it is
/// rather than blanking a part it cannot know.
// clang-format off
inline constexpr std::array<CaptionKey, 9> kAddedCaptionKeys = {{
    {9, CaptionWindow::Main, "N29", "预览", "N14", "", false},
    {9, CaptionWindow::Main, "TabSheet8", "预览", "", "", false},
    {9, CaptionWindow::Main, "SpeedButton6", "预览", "", "", false},
    {9, CaptionWindow::Main, "SpeedButton7", "替换所选", "", "", false},
    {9, CaptionWindow::Main, "N30", "全选", "", "", false},
    {9, CaptionWindow::Main, "N31", "反选", "", "", false},
    {9, CaptionWindow::Main, "TabSheet3", "特征提取", "", "", false},
    {9, CaptionWindow::Main, "Label8", "起始特征字符串", "", "", false},
    {9, CaptionWindow::Main, "Label9", "结束特征字符串", "", "", false},
}};
// clang-format on

/// The keys a pack provides: every component of kCaptionKeys that is looked up (not copied), once
/// each, in application order.
[[nodiscard]] std::vector<std::string_view> PackKeys();

} // namespace norvik::settings
