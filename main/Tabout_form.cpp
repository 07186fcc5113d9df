#include "main/Tabout_form.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace norvik::ui {

Tabout_form::Tabout_form(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("about_form"));
    setWindowTitle(QStringLiteral("About Norvik"));
    setModal(false);
    // An open about box must not keep the program alive once the main window is closed.
    setAttribute(Qt::WA_QuitOnClose, false);

    auto* column = new QVBoxLayout(this);
    m_content = new QVBoxLayout;
    column->addLayout(m_content);
    column->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setDefault(true);
    buttons->addWidget(m_ok);
    column->addLayout(buttons);
    // OK only hides the box; its state lives until the program ends.
    connect(m_ok, &QPushButton::clicked, this, &QWidget::hide);
    setFixedSize(420, 360);
}

} // namespace norvik::ui
