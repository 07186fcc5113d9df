#pragma once
// A page of the lower tab control: labelled text boxes placed by fixed rules on every resize, so the
// boxes always share the page between them the same way.
#include <QRect>
#include <QSize>
#include <QWidget>
#include <array>
#include <vector>

class QLabel;
class QPlainTextEdit;

namespace norvik::ui {

enum class MemoPageKind {
    TwoBoxes, ///< one box above the other (normal replacement, extraction)
    Feature,  ///< start and end boxes on the left, the replacement box on the right
};

struct MemoPageGeometry {
    std::array<QRect, 3> labels; ///< the third only for the feature page
    std::array<QRect, 3> boxes;
};

/// Where each label and box goes on a page of the given size. Heights and widths never go below 0.
[[nodiscard]] MemoPageGeometry LayoutMemoPage(MemoPageKind kind, QSize page);

class MemoPage : public QWidget {
    Q_OBJECT
public:
    MemoPage(MemoPageKind kind, QWidget* parent = nullptr);

    /// The labels and boxes, top to bottom, then left to right (two or three of each).
    void setParts(std::vector<QLabel*> labels, std::vector<QPlainTextEdit*> boxes);

    /// Room for two lines in each box, so a small window never squeezes the boxes away.
    [[nodiscard]] QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeParts();

    MemoPageKind m_kind;
    std::vector<QLabel*> m_labels;
    std::vector<QPlainTextEdit*> m_boxes;
};

} // namespace norvik::ui
