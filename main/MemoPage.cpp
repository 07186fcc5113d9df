#include "main/MemoPage.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <algorithm>

namespace norvik::ui {

namespace {
constexpr int kMargin = 6;       // left and right margin of the boxes
constexpr int kFirstBoxTop = 17; // room for the first label above the first box
constexpr int kLabelGap = 2;     // from a box's bottom to the next label's top
constexpr int kLabelHeight = 15; // from a label's top to its box's top
constexpr int kLabelTop = kFirstBoxTop - kLabelHeight;
} // namespace

MemoPageGeometry LayoutMemoPage(MemoPageKind kind, QSize page) {
    const int w = page.width();
    const int h = page.height();
    // Integer division rounds toward zero, as the layout rule asks.
    const int boxHeight = std::max(0, (h - 40) / 2);
    MemoPageGeometry g;
    const int leftWidth = kind == MemoPageKind::TwoBoxes ? std::max(0, w - 12) : std::max(0, (2 * w - 36) / 3);
    g.labels[0] = QRect(kMargin, kLabelTop, leftWidth, kLabelHeight);
    g.boxes[0] = QRect(kMargin, kFirstBoxTop, leftWidth, boxHeight);
    const int secondLabelTop = kFirstBoxTop + boxHeight + kLabelGap;
    g.labels[1] = QRect(kMargin, secondLabelTop, leftWidth, kLabelHeight);
    g.boxes[1] = QRect(kMargin, secondLabelTop + kLabelHeight, leftWidth, boxHeight);
    if (kind == MemoPageKind::Feature) {
        const int third = std::max(0, (w - 18) / 3);
        const int left = 2 * third + 12;
        g.labels[2] = QRect(left, kLabelTop, third, kLabelHeight);
        g.boxes[2] = QRect(left, kFirstBoxTop, third, std::max(0, h - 19));
    }
    return g;
}

MemoPage::MemoPage(MemoPageKind kind, QWidget* parent) : QWidget(parent), m_kind(kind) {}

void MemoPage::setParts(std::vector<QLabel*> labels, std::vector<QPlainTextEdit*> boxes) {
    m_labels = std::move(labels);
    m_boxes = std::move(boxes);
    placeParts();
}

QSize MemoPage::minimumSizeHint() const {
    // A box's frame and margins take about one more line's height.
    const int box = fontMetrics().lineSpacing() * 3 + 8;
    return {240, 40 + 2 * box};
}

void MemoPage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeParts();
}

void MemoPage::placeParts() {
    const MemoPageGeometry g = LayoutMemoPage(m_kind, size());
    for (std::size_t i = 0; i < m_labels.size() && i < g.labels.size(); ++i) {
        m_labels[i]->setGeometry(g.labels[i]);
    }
    for (std::size_t i = 0; i < m_boxes.size() && i < g.boxes.size(); ++i) {
        m_boxes[i]->setGeometry(g.boxes[i]);
    }
}

} // namespace norvik::ui
