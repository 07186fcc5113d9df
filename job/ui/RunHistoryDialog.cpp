#include "job/ui/RunHistoryDialog.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/PathText.h"

namespace norvik::ui {

namespace {

QString ModeText(settings::ReplaceMode mode) {
    switch (mode) {
    case settings::ReplaceMode::Feature:
        return QStringLiteral("特征替换");
    case settings::ReplaceMode::Extract:
        return QStringLiteral("特征提取");
    case settings::ReplaceMode::Normal:
        break;
    }
    return QStringLiteral("一般替换");
}

} // namespace

RunHistoryDialog::RunHistoryDialog(QWidget* parent, std::function<void(const std::string& id)> restore)
    : QDialog(parent) {
    setObjectName(QStringLiteral("RunHistoryDialog"));
    setWindowTitle(QStringLiteral("历史记录"));
    resize(760, 480);
    auto* layout = new QVBoxLayout(this);

    m_runs = new QTreeWidget(this);
    m_runs->setObjectName(QStringLiteral("runTable"));
    m_runs->setRootIsDecorated(false);
    m_runs->setUniformRowHeights(true);
    m_runs->setSelectionMode(QAbstractItemView::SingleSelection);
    m_runs->setHeaderLabels({QStringLiteral("时间"), QStringLiteral("方式"), QStringLiteral("写入"),
                             QStringLiteral("失败"), QStringLiteral("目标"), QStringLiteral("编号")});
    m_runs->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(m_runs, 3);

    m_restore = new QPushButton(QStringLiteral("恢复所选运行"), this);
    m_restore->setObjectName(QStringLiteral("restoreRunButton"));
    m_restore->setToolTip(
        QStringLiteral("把该次运行写入的每个文件恢复为运行之前的内容;运行之后又被改动的文件保持现状"));
    layout->addWidget(m_restore, 0, Qt::AlignLeft);

    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("restoreSummary"));
    layout->addWidget(m_summary);
    m_outcome = new QListWidget(this);
    m_outcome->setObjectName(QStringLiteral("restoreOutcome"));
    layout->addWidget(m_outcome, 2);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->setObjectName(QStringLiteral("historyButtons"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    connect(m_runs, &QTreeWidget::itemSelectionChanged, this, [this] { m_restore->setEnabled(!chosenRun().empty()); });
    connect(m_restore, &QPushButton::clicked, this, [this, restore = std::move(restore)] {
        const std::string id = chosenRun();
        if (!id.empty()) {
            restore(id);
        }
    });
    m_restore->setEnabled(false);
}

void RunHistoryDialog::showRuns(const job::HistoryListing& listing) {
    m_runs->clear();
    for (const job::HistoryRun& run : listing.runs) {
        const QString written = run.complete ? QString::number(run.counters.successes)
                                             : QString::number(run.written) + QStringLiteral(" (未完成)");
        const QString target = run.description.targets.empty()
                                   ? QString()
                                   : PathText(run.description.targets.front()) +
                                         (run.description.targets.size() > 1
                                              ? QStringLiteral(" 等%1项").arg(run.description.targets.size())
                                              : QString());
        auto* item = new QTreeWidgetItem(
            m_runs, {QDateTime::fromSecsSinceEpoch(run.time).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                     ModeText(run.description.mode) + (run.undone ? QStringLiteral(" (已撤销)") : QString()), written,
                     QString::number(run.counters.failures), target, QString::fromStdString(run.id)});
        item->setData(0, Qt::UserRole, QString::fromStdString(run.id));
    }
    m_outcome->clear();
    for (const std::string& problem : listing.problems) {
        m_outcome->addItem(FromUtf8(problem));
    }
    m_summary->setText(listing.runs.empty() ? QStringLiteral("没有记录任何运行") : QString());
    chooseRow(0);
    m_restore->setEnabled(!chosenRun().empty());
}

std::string RunHistoryDialog::chosenRun() const {
    const QList<QTreeWidgetItem*> chosen = m_runs->selectedItems();
    return chosen.isEmpty() ? std::string() : chosen.front()->data(0, Qt::UserRole).toString().toStdString();
}

void RunHistoryDialog::chooseRow(int row) {
    if (QTreeWidgetItem* item = m_runs->topLevelItem(row)) {
        m_runs->setCurrentItem(item);
        item->setSelected(true);
    }
}

void RunHistoryDialog::showOutcome(const QStringList& lines, const QString& summary) {
    m_outcome->clear();
    m_outcome->addItems(lines);
    m_summary->setText(summary);
}

} // namespace norvik::ui
