#pragma once
// The about box: modeless, on top of the other windows, hidden (never destroyed) by OK or its close
// button.
#include <QDialog>

class QPushButton;
class QVBoxLayout;

namespace norvik::ui {

class Tabout_form : public QDialog {
    Q_OBJECT
public:
    explicit Tabout_form(QWidget* parent = nullptr);

    /// The column above the OK button, where the banner, version and texts go.
    [[nodiscard]] QVBoxLayout* contentLayout() const { return m_content; }
    [[nodiscard]] QPushButton* okButton() const { return m_ok; }

private:
    QVBoxLayout* m_content = nullptr;
    QPushButton* m_ok = nullptr;
};

} // namespace norvik::ui
