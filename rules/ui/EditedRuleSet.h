#pragma once
// The rule set being edited in one tab of the rule editor, kept apart from the widgets so the
// checks and messages of adding, modifying and deleting rules live in one place.
#include <string>
#include <vector>

#include "rules/RuleLine.h"

namespace norvik::ui {

/// Messages of the editor's message strips (UTF-8).
namespace strip {
inline constexpr const char* kStart = "------";
inline constexpr const char* kFindExists = "被替换字符串已存在，不可重复";
inline constexpr const char* kFindEmpty = "被替换的字符串不可为空";
inline constexpr const char* kFindEqualsReplacement = "被替换和替换后的字符串不可相同";
inline constexpr const char* kModifiedFindExists = "修改后的被替换字符串不能和已存在的相同";
inline constexpr const char* kFeatureExists = "特征字符串已存在，不可重复";
inline constexpr const char* kFeatureEmpty = "特征字符串不可为空";
inline constexpr const char* kModifiedFeatureExists = "修改后的特征字符串不能和已存在的相同";
inline constexpr const char* kNothingSelected = "请先选中要修改的规则";
inline constexpr const char* kNotInCodePage = "规则中有GBK无法表示的字符，未作改动";
} // namespace strip

/// Rows of working texts (GBK bytes, line breaks kept): find and replacement for normal rules;
/// start, end and replacement for feature rules. A rule's identity is its find text, or its pair of
/// start and end. Comparisons are byte for byte. Every row has exactly columnCount() texts, which is
/// what keeps the editor's parallel list columns the same length.
class EditedRuleSet {
public:
    enum class Kind { Normal, Feature };
    using Row = std::vector<std::string>;

    explicit EditedRuleSet(Kind kind);

    [[nodiscard]] Kind kind() const noexcept { return m_kind; }
    [[nodiscard]] int columnCount() const noexcept { return m_kind == Kind::Normal ? 2 : 3; }
    [[nodiscard]] int rowCount() const noexcept { return static_cast<int>(m_rows.size()); }
    [[nodiscard]] const Row& row(int index) const { return m_rows.at(static_cast<std::size_t>(index)); }
    /// The selected row, or -1.
    [[nodiscard]] int selected() const noexcept { return m_selected; }
    /// The tab's message strip (UTF-8); "------" at start, empty after it was cleared.
    [[nodiscard]] const std::string& message() const noexcept { return m_message; }

    /// Selects a row; an index of -1 or past the last row changes nothing and gives false.
    bool select(int index);
    /// Appends a rule after the duplicate, emptiness and (normal rules) equality checks, and selects
    /// it. A rule that passes the duplicate check clears the strip before the other checks.
    /// False, with the reason in the strip, when refused.
    bool add(const Row& texts);
    /// Replaces the selected row's texts in place unless the new identity belongs to another row.
    /// No emptiness check; the strip changes only when refused (nothing selected, or a clash).
    bool modify(const Row& texts);
    /// Removes the selected row and selects the row now at its place, or the new last row.
    /// Nothing selected: nothing happens (false).
    bool remove();
    /// Refuses a command for a reason of the window's own: the strip shows the message, rows stay.
    void refuse(const char* message) { m_message = message; }
    /// New rules: no rows, nothing selected, the strip shows "------" again.
    void clear();

    /// Replaces all rows (a loaded file) and selects row 0 when there is one; the strip is kept.
    void setNormalRules(const std::vector<rules::NormalRule>& rules);
    void setFeatureRules(const std::vector<rules::FeatureRule>& rules);
    [[nodiscard]] std::vector<rules::NormalRule> normalRules() const;
    [[nodiscard]] std::vector<rules::FeatureRule> featureRules() const;

private:
    [[nodiscard]] bool sameIdentity(const Row& a, const Row& b) const;
    [[nodiscard]] int findIdentity(const Row& texts) const;
    [[nodiscard]] Row normalised(const Row& texts) const;
    void replaceRows(std::vector<Row> rows);

    Kind m_kind;
    std::vector<Row> m_rows;
    int m_selected = -1;
    std::string m_message = strip::kStart;
};

} // namespace norvik::ui
