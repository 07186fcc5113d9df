#pragma once
// A row of widgets whose widths follow a rule of the row's width: the rule sizes every item but the
// last, which takes what is left. The editor uses it so its columns line up on every resize and
// whenever a tab is shown, without handlers that chase resize events.
#include <QLayout>
#include <functional>
#include <vector>

namespace norvik::ui {

class ColumnRowLayout : public QLayout {
    Q_OBJECT
public:
    /// Given the row's width, the widths of all items but the last.
    using WidthRule = std::function<std::vector<int>(int rowWidth)>;

    ColumnRowLayout(QWidget* parent, int spacing, WidthRule rule);
    ~ColumnRowLayout() override;

    void addItem(QLayoutItem* item) override;
    [[nodiscard]] QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    [[nodiscard]] int count() const override;
    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;
    [[nodiscard]] Qt::Orientations expandingDirections() const override;

private:
    int m_gap;
    WidthRule m_rule;
    std::vector<QLayoutItem*> m_items;
};

} // namespace norvik::ui
