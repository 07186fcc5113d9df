#pragma once
// The rows of one of the main window's path lists (targets, results, hits, errors). Each row keeps
// the exact bytes it stands for, so comparisons never depend on how the text is displayed.
//
// Appends are cheap and batched: a row is stored at once (size(), bytesAt() and the other row
// accessors see it) but views learn of new rows in one insertion per publish(), which runs on the
// next turn of the event loop or when the owner calls it. A run that adds a row per file therefore
// costs the views one layout per pump, not one per file.
#include <QAbstractListModel>
#include <QColor>
#include <QString>
#include <string>
#include <unordered_map>
#include <vector>

namespace norvik::ui {

class PathListModel final : public QAbstractListModel {
    Q_OBJECT
public:
    /// `checkable` rows carry a tick box.
    explicit PathListModel(bool checkable, QObject* parent = nullptr);

    /// Rows drawn in this colour (the error list); an invalid colour keeps the view's own.
    void setForeground(const QColor& colour) { m_foreground = colour; }

    // --- Rows, including those not yet published --------------------------------------------------
    [[nodiscard]] int size() const { return static_cast<int>(m_rows.size()); }
    [[nodiscard]] const std::string& bytesAt(int row) const { return m_rows[static_cast<std::size_t>(row)].bytes; }
    [[nodiscard]] QString textAt(int row) const { return m_rows[static_cast<std::size_t>(row)].text; }
    /// What is shown beside the row's text (an error line's reason); empty for most rows.
    [[nodiscard]] QString noteAt(int row) const { return m_rows[static_cast<std::size_t>(row)].note; }
    [[nodiscard]] bool isChecked(int row) const { return m_rows[static_cast<std::size_t>(row)].checked; }
    /// The bytes of every row, top to bottom.
    [[nodiscard]] std::vector<std::string> paths() const;
    /// The first row whose bytes equal `bytes` exactly (case-sensitive), or -1. Constant time when
    /// the path is not listed.
    [[nodiscard]] int findExact(const std::string& bytes) const;

    /// Appends a row, with `note` shown beside its text; views see it at the next publish().
    void append(const std::string& bytes, bool checked = false, const QString& note = {});
    void setChecked(int row, bool checked);
    void checkAll();
    void invertChecks();
    void removeRow(int row);
    void clear();
    /// Tells the views of every row appended since the last publish, in one insertion.
    void publish();
    [[nodiscard]] bool hasUnpublished() const { return m_published < m_rows.size(); }

    // --- QAbstractListModel -----------------------------------------------------------------------
signals:
    /// A row was added, removed or ticked, at the moment it happened (views learn of appended rows
    /// later, at the next publish).
    void contentChanged();

public:
    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct Row {
        std::string bytes;
        QString text;
        QString note;
        bool checked = false;
    };

    void schedulePublish();
    void forget(const std::string& bytes);

    std::vector<Row> m_rows;
    std::size_t m_published = 0; ///< rows the views know of; always the first ones
    bool m_publishQueued = false;
    bool m_checkable;
    QColor m_foreground;
    std::unordered_map<std::string, int> m_counts; ///< how many rows hold each path
};

} // namespace norvik::ui
