#include "rules/ui/EditedRuleSet.h"

#include <utility>

namespace norvik::ui {

EditedRuleSet::EditedRuleSet(Kind kind) : m_kind(kind) {}

bool EditedRuleSet::select(int index) {
    if (index < 0 || index >= rowCount()) {
        return false;
    }
    m_selected = index;
    return true;
}

EditedRuleSet::Row EditedRuleSet::normalised(const Row& texts) const {
    Row row = texts;
    row.resize(static_cast<std::size_t>(columnCount()));
    return row;
}

bool EditedRuleSet::sameIdentity(const Row& a, const Row& b) const {
    if (m_kind == Kind::Normal) {
        return a[0] == b[0];
    }
    return a[0] == b[0] && a[1] == b[1];
}

int EditedRuleSet::findIdentity(const Row& texts) const {
    for (int i = 0; i < rowCount(); ++i) {
        if (sameIdentity(m_rows[static_cast<std::size_t>(i)], texts)) {
            return i;
        }
    }
    return -1;
}

bool EditedRuleSet::add(const Row& texts) {
    Row row = normalised(texts);
    if (findIdentity(row) >= 0) {
        m_message = m_kind == Kind::Normal ? strip::kFindExists : strip::kFeatureExists;
        return false;
    }
    m_message.clear();
    if (m_kind == Kind::Normal) {
        if (row[0].empty()) {
            m_message = strip::kFindEmpty;
            return false;
        }
        if (row[0] == row[1]) {
            m_message = strip::kFindEqualsReplacement;
            return false;
        }
    } else if (row[0].empty() || row[1].empty()) {
        m_message = strip::kFeatureEmpty;
        return false;
    }
    m_rows.push_back(std::move(row));
    m_selected = rowCount() - 1;
    return true;
}

bool EditedRuleSet::modify(const Row& texts) {
    if (m_selected < 0) {
        m_message = strip::kNothingSelected;
        return false;
    }
    Row row = normalised(texts);
    Row& current = m_rows[static_cast<std::size_t>(m_selected)];
    // Keeping the selected row's own identity is allowed; taking another row's is not.
    if (findIdentity(row) >= 0 && !sameIdentity(current, row)) {
        m_message = m_kind == Kind::Normal ? strip::kModifiedFindExists : strip::kModifiedFeatureExists;
        return false;
    }
    current = std::move(row);
    return true;
}

bool EditedRuleSet::remove() {
    if (m_selected < 0) {
        return false;
    }
    m_rows.erase(m_rows.begin() + m_selected);
    if (m_selected >= rowCount()) {
        m_selected = rowCount() - 1;
    }
    return true;
}

void EditedRuleSet::clear() {
    m_rows.clear();
    m_selected = -1;
    m_message = strip::kStart;
}

void EditedRuleSet::replaceRows(std::vector<Row> rows) {
    m_rows = std::move(rows);
    m_selected = m_rows.empty() ? -1 : 0;
}

void EditedRuleSet::setNormalRules(const std::vector<rules::NormalRule>& rules) {
    std::vector<Row> rows;
    rows.reserve(rules.size());
    for (const auto& rule : rules) {
        rows.push_back(normalised({rule.find, rule.replacement}));
    }
    replaceRows(std::move(rows));
}

void EditedRuleSet::setFeatureRules(const std::vector<rules::FeatureRule>& rules) {
    std::vector<Row> rows;
    rows.reserve(rules.size());
    for (const auto& rule : rules) {
        rows.push_back(normalised({rule.start, rule.end, rule.replacement}));
    }
    replaceRows(std::move(rows));
}

std::vector<rules::NormalRule> EditedRuleSet::normalRules() const {
    std::vector<rules::NormalRule> rules;
    rules.reserve(m_rows.size());
    for (const Row& row : m_rows) {
        rules.push_back({row[0], row[1]});
    }
    return rules;
}

std::vector<rules::FeatureRule> EditedRuleSet::featureRules() const {
    std::vector<rules::FeatureRule> rules;
    rules.reserve(m_rows.size());
    for (const Row& row : m_rows) {
        rules.push_back({row[0], row[1], row.size() > 2 ? row[2] : std::string()});
    }
    return rules;
}

} // namespace norvik::ui
