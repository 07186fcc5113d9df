#include "rules/ui/ColumnRowLayout.h"

#include <algorithm>
#include <utility>

namespace norvik::ui {

ColumnRowLayout::ColumnRowLayout(QWidget* parent, int spacing, WidthRule rule)
    : QLayout(parent), m_gap(spacing), m_rule(std::move(rule)) {
    setContentsMargins(0, 0, 0, 0);
}

ColumnRowLayout::~ColumnRowLayout() {
    for (QLayoutItem* item : m_items) {
        delete item;
    }
}

void ColumnRowLayout::addItem(QLayoutItem* item) {
    m_items.push_back(item);
}

QLayoutItem* ColumnRowLayout::itemAt(int index) const {
    if (index < 0 || index >= count()) {
        return nullptr;
    }
    return m_items[static_cast<std::size_t>(index)];
}

QLayoutItem* ColumnRowLayout::takeAt(int index) {
    if (index < 0 || index >= count()) {
        return nullptr;
    }
    QLayoutItem* item = m_items[static_cast<std::size_t>(index)];
    m_items.erase(m_items.begin() + index);
    return item;
}

int ColumnRowLayout::count() const {
    return static_cast<int>(m_items.size());
}

QSize ColumnRowLayout::sizeHint() const {
    int width = 0;
    int height = 0;
    for (const QLayoutItem* item : m_items) {
        width += item->sizeHint().width();
        height = std::max(height, item->sizeHint().height());
    }
    return {width + m_gap * std::max(0, count() - 1), height};
}

QSize ColumnRowLayout::minimumSize() const {
    // The widths come from the rule, not from the items, so the row can shrink with the dialog.
    int height = 0;
    for (const QLayoutItem* item : m_items) {
        height = std::max(height, item->minimumSize().height());
    }
    return {count() * 8, height};
}

Qt::Orientations ColumnRowLayout::expandingDirections() const {
    return Qt::Horizontal | Qt::Vertical;
}

void ColumnRowLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    if (m_items.empty()) {
        return;
    }
    const std::vector<int> widths = m_rule(rect.width());
    int x = rect.x();
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        int width = 0;
        if (i + 1 < m_items.size()) {
            width = i < widths.size() ? widths[i] : 0;
        } else {
            width = rect.x() + rect.width() - x;
        }
        width = std::max(0, width);
        m_items[i]->setGeometry(QRect(x, rect.y(), width, rect.height()));
        x += width + m_gap;
    }
}

} // namespace norvik::ui
