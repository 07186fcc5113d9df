#pragma once
// The about box: banner, version strip, the program's description, a rights line and OK. Modeless,
// fixed in size, on top of the other windows, centred on the desktop; hidden (never destroyed) by OK,
// Escape or its close button, so one box serves the whole session.
#include <QDialog>
#include <QStringList>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace norvik::ui {

class Tabout_form : public QDialog {
    Q_OBJECT
public:
    explicit Tabout_form(QWidget* parent = nullptr);

    /// The lines of the description, in order.
    [[nodiscard]] static QStringList descriptionLines();

    [[nodiscard]] QWidget* banner() const { return m_banner; }
    [[nodiscard]] QLabel* versionStrip() const { return m_version; }
    [[nodiscard]] QPlainTextEdit* description() const { return m_description; }
    [[nodiscard]] QLineEdit* rightsLine() const { return m_rights; }
    [[nodiscard]] QPushButton* okButton() const { return m_ok; }

private:
    QWidget* m_banner = nullptr;
    QLabel* m_version = nullptr;
    QPlainTextEdit* m_description = nullptr;
    QLineEdit* m_rights = nullptr;
    QPushButton* m_ok = nullptr;
};

} // namespace norvik::ui
