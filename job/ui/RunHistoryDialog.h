#pragma once
// The 历史记录 dialog: the runs of the history, newest first, with their counts and targets; the
// chosen one is undone with 恢复所选运行, and what that did (each file put back, each file refused
// with its reason) is shown below the list.
#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>
#include <string>

#include "job/RunHistory.h"

class QLabel;
class QListWidget;
class QPushButton;
class QTreeWidget;

namespace norvik::ui {

class RunHistoryDialog final : public QDialog {
    Q_OBJECT
public:
    /// `restore` is called with the id of the chosen run when the user asks to undo it.
    RunHistoryDialog(QWidget* parent, std::function<void(const std::string& id)> restore);

    /// Lists the runs (one row each, newest first, the first one chosen) and names the entries that
    /// could not be read.
    void showRuns(const job::HistoryListing& listing);
    /// The id of the chosen run; empty when there is none.
    [[nodiscard]] std::string chosenRun() const;
    /// Chooses the run of a row (0 is the newest).
    void chooseRow(int row);
    /// What the last restore did: its lines and its summary.
    void showOutcome(const QStringList& lines, const QString& summary);

    [[nodiscard]] QTreeWidget* runTable() const { return m_runs; }
    [[nodiscard]] QPushButton* restoreButton() const { return m_restore; }
    [[nodiscard]] QListWidget* outcomeList() const { return m_outcome; }
    [[nodiscard]] QLabel* summaryLabel() const { return m_summary; }

private:
    QTreeWidget* m_runs = nullptr;
    QPushButton* m_restore = nullptr;
    QListWidget* m_outcome = nullptr;
    QLabel* m_summary = nullptr;
};

} // namespace norvik::ui
