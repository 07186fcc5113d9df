#pragma once
// The preview tab: the files a run would write, ticked, each with the number of replacements in it,
// and the failures a run would meet, in red with their reason; beside them the change of the
// selected file, its lines before and after with the replaced parts marked.
//
// Rows are cheap to add (a run reports thousands); the replacement count and the change of a file
// are worked out only when the file is shown, by the functions the owner gives.
#include <QAbstractListModel>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "job/ChangePreview.h"

class QListView;
class QPushButton;
class QTextEdit;

namespace norvik::ui {

class PreviewModel final : public QAbstractListModel {
    Q_OBJECT
public:
    struct Row {
        std::string source; ///< the file a run would read (file system bytes)
        QString text;       ///< the path as shown
        QString reason;     ///< a failure's reason; empty for a file that would be written
        bool checked = true;
        mutable int count = -1; ///< replacements, worked out when the row is first shown
    };
    using Counter = std::function<int(const std::string& source)>;

    explicit PreviewModel(QObject* parent = nullptr) : QAbstractListModel(parent) {}
    void setCounter(Counter counter) { m_counter = std::move(counter); }

    void append(const std::string& source, const QString& reason);
    void publish();
    void clear();
    [[nodiscard]] int size() const { return static_cast<int>(m_rows.size()); }
    [[nodiscard]] const Row& row(int index) const { return m_rows[static_cast<std::size_t>(index)]; }
    void setChecked(int index, bool checked);
    /// Ticks every file row, or flips the tick of each (failure rows have none).
    void checkAll();
    void invertChecks();

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    std::vector<Row> m_rows;
    std::size_t m_published = 0;
    Counter m_counter;
};

class PreviewPane final : public QWidget {
    Q_OBJECT
public:
    /// Works out what a run would do to one file, when it is shown.
    using ChangeOf = std::function<job::FileChange(const std::string& source)>;

    explicit PreviewPane(QWidget* parent = nullptr);
    void setChangeOf(ChangeOf changeOf);

    /// Empties the lists and the view; `note` is shown where a change would be. Says so (discarded()):
    /// rows added afterwards would be shown, so whoever fills the pane must stop, as JobController
    /// does with a preview run discarded while it fills the pane (it stops the run, drops the rest).
    void discard(const QString& note = {});
    void addFile(const std::string& source);
    void addFailure(const std::string& source, const QString& reason);
    /// Tells the view of the rows added since the last call.
    void publish();
    [[nodiscard]] bool isEmpty() const { return m_model.size() == 0; }
    /// Every file row (failures are never run) with its tick, top to bottom.
    [[nodiscard]] std::vector<std::pair<std::string, bool>> files() const;
    [[nodiscard]] PreviewModel& model() { return m_model; }
    [[nodiscard]] QListView* list() const { return m_list; }
    [[nodiscard]] QTextEdit* view() const { return m_view; }
    [[nodiscard]] QPushButton* runButton() const { return m_run; }
    /// Shows the change of a row (also what selecting it does).
    void showRow(int row);

signals:
    /// The preview was discarded: what was being forecast for it no longer counts.
    void discarded();

private:
    void showChange(const std::string& source, const job::FileChange& change);
    /// Shows a note or a failure in the plain format.
    void showPlainText(const QString& text);

    PreviewModel m_model;
    ChangeOf m_changeOf;
    QListView* m_list = nullptr;
    QTextEdit* m_view = nullptr;
    QPushButton* m_run = nullptr;
};

} // namespace norvik::ui
