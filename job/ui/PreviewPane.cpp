#include "job/ui/PreviewPane.h"

#include <QFile>
#include <QFontDatabase>
#include <QListView>
#include <QPushButton>
#include <QSplitter>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>
#include <new>

#include "job/TextDiff.h"
#include "ui/PathText.h"

namespace norvik::ui {

namespace {

// A change of a whole large file would fill the view for nothing; its first lines tell the story.
constexpr std::size_t kMaxShownLines = 1200;

QString EncodingName(filedeal::EncodingKind kind) {
    switch (kind) {
    case filedeal::EncodingKind::Ansi:
        return QStringLiteral("GBK");
    case filedeal::EncodingKind::Utf16Le:
        return QStringLiteral("UTF-16LE");
    case filedeal::EncodingKind::Utf8Bom:
        return QStringLiteral("UTF-8 (BOM)");
    case filedeal::EncodingKind::Utf8:
        return QStringLiteral("UTF-8");
    case filedeal::EncodingKind::Unopenable:
        break;
    }
    return {};
}

/// A line of the change without its line end, tabs and carriage returns shown as they would print.
QString Shown(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return FromUtf8(text);
}

} // namespace

// --- Model -------------------------------------------------------------------------------------------

void PreviewModel::append(const std::string& source, const QString& reason) {
    const QByteArray raw(source.data(), static_cast<qsizetype>(source.size()));
    m_rows.push_back({source, QFile::decodeName(raw), reason, reason.isEmpty(), -1});
}

void PreviewModel::publish() {
    if (m_published >= m_rows.size()) {
        return;
    }
    beginInsertRows({}, static_cast<int>(m_published), static_cast<int>(m_rows.size()) - 1);
    m_published = m_rows.size();
    endInsertRows();
}

void PreviewModel::clear() {
    beginResetModel();
    m_rows.clear();
    m_published = 0;
    endResetModel();
}

void PreviewModel::setChecked(int index, bool checked) {
    Row& row = m_rows[static_cast<std::size_t>(index)];
    if (!row.reason.isEmpty() || row.checked == checked) {
        return;
    }
    row.checked = checked;
    if (static_cast<std::size_t>(index) < m_published) {
        emit dataChanged(this->index(index), this->index(index), {Qt::CheckStateRole});
    }
}

void PreviewModel::checkAll() {
    for (Row& row : m_rows) {
        row.checked = row.reason.isEmpty();
    }
    if (m_published > 0) {
        emit dataChanged(index(0), index(static_cast<int>(m_published) - 1), {Qt::CheckStateRole});
    }
}

void PreviewModel::invertChecks() {
    for (Row& row : m_rows) {
        row.checked = row.reason.isEmpty() && !row.checked;
    }
    if (m_published > 0) {
        emit dataChanged(index(0), index(static_cast<int>(m_published) - 1), {Qt::CheckStateRole});
    }
}

int PreviewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_published);
}

QVariant PreviewModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= m_published) {
        return {};
    }
    const Row& row = m_rows[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        if (!row.reason.isEmpty()) {
            return OneLinePathText(row.text) + QStringLiteral("    ") + row.reason;
        }
        if (row.count < 0 && m_counter) {
            row.count = m_counter(row.source);
        }
        return row.count < 0 ? OneLinePathText(row.text)
                             : OneLinePathText(row.text) + QStringLiteral("    (%1处)").arg(row.count);
    case Qt::ToolTipRole:
        return row.text;
    case Qt::CheckStateRole:
        return row.reason.isEmpty() ? QVariant(row.checked ? Qt::Checked : Qt::Unchecked) : QVariant();
    case Qt::ForegroundRole:
        return row.reason.isEmpty() ? QVariant() : QVariant(QColor(Qt::red));
    default:
        return {};
    }
}

bool PreviewModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !index.isValid() || index.row() >= rowCount()) {
        return false;
    }
    setChecked(index.row(), value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags PreviewModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (m_rows[static_cast<std::size_t>(index.row())].reason.isEmpty()) {
        result |= Qt::ItemIsUserCheckable;
    }
    return result;
}

// --- Pane --------------------------------------------------------------------------------------------

PreviewPane::PreviewPane(QWidget* parent) : QWidget(parent), m_model(this) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    auto* left = new QWidget(splitter);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    m_list = new QListView(left);
    m_list->setObjectName(QStringLiteral("CheckListBox3"));
    m_list->setModel(&m_model);
    m_list->setUniformItemSizes(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    leftLayout->addWidget(m_list, 1);
    m_run = new QPushButton(QStringLiteral("替换所选"), left);
    m_run->setObjectName(QStringLiteral("SpeedButton7"));
    m_run->setAutoDefault(false);
    leftLayout->addWidget(m_run);
    m_view = new QTextEdit(splitter);
    m_view->setObjectName(QStringLiteral("RichEdit1"));
    m_view->setReadOnly(true);
    // Files dropped anywhere on the window are targets, never text.
    m_view->setAcceptDrops(false);
    m_view->setLineWrapMode(QTextEdit::NoWrap);
    m_view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 3);
    layout->addWidget(splitter);

    connect(m_list->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (current.isValid()) {
            showRow(current.row());
        }
    });
}

void PreviewPane::setChangeOf(ChangeOf changeOf) {
    m_changeOf = std::move(changeOf);
    m_model.setCounter([this](const std::string& source) {
        if (!m_changeOf) {
            return -1;
        }
        try {
            const job::FileChange change = m_changeOf(source);
            return change.readable ? static_cast<int>(change.replacements) : -1;
        } catch (const std::bad_alloc&) {
            return -1; // shown without its count
        }
    });
}

void PreviewPane::discard(const QString& note) {
    m_model.clear();
    showPlainText(note);
    emit discarded();
}

void PreviewPane::addFile(const std::string& source) {
    m_model.append(source, {});
}

void PreviewPane::addFailure(const std::string& source, const QString& reason) {
    m_model.append(source, reason);
}

void PreviewPane::publish() {
    m_model.publish();
}

std::vector<std::pair<std::string, bool>> PreviewPane::files() const {
    std::vector<std::pair<std::string, bool>> result;
    for (int i = 0; i < m_model.size(); ++i) {
        const PreviewModel::Row& row = m_model.row(i);
        if (row.reason.isEmpty()) {
            result.emplace_back(row.source, row.checked);
        }
    }
    return result;
}

void PreviewPane::showRow(int row) {
    if (row < 0 || row >= m_model.size() || !m_changeOf) {
        return;
    }
    const PreviewModel::Row& shown = m_model.row(row);
    if (!shown.reason.isEmpty()) {
        showPlainText(shown.text + QStringLiteral("\n") + shown.reason);
        return;
    }
    job::FileChange change;
    try {
        change = m_changeOf(shown.source);
    } catch (const std::bad_alloc&) {
        showPlainText(shown.text + QStringLiteral("\n内存不足，无法显示该文件的改动"));
        return;
    }
    showChange(shown.source, change);
}

void PreviewPane::showPlainText(const QString& text) {
    // A plain text takes the format at the view's cursor, which the last change left on its bold
    // header: start from a plain one.
    m_view->setCurrentCharFormat(QTextCharFormat());
    m_view->setPlainText(text);
}

void PreviewPane::showChange(const std::string& source, const job::FileChange& change) {
    m_view->clear();
    QTextCursor cursor(m_view->document());
    // One layout for the whole change, not one per inserted piece.
    cursor.beginEditBlock();
    QTextCharFormat plain;
    QTextCharFormat header;
    header.setFontWeight(QFont::Bold);
    QTextCharFormat hunk;
    hunk.setForeground(QColor(0x60, 0x60, 0xA0));
    const QByteArray raw(source.data(), static_cast<qsizetype>(source.size()));
    cursor.insertText(QFile::decodeName(raw), header);
    if (!change.readable) {
        cursor.insertText(QStringLiteral("\n无法读取该文件"), plain);
        cursor.endEditBlock();
        return;
    }
    cursor.insertText(QStringLiteral("\n%1    %2处\n").arg(EncodingName(change.kind)).arg(change.replacements), plain);

    QTextCharFormat removed;
    removed.setBackground(QColor(0xFF, 0xE4, 0xE4));
    QTextCharFormat removedPart = removed;
    removedPart.setBackground(QColor(0xFF, 0xA8, 0xA8));
    QTextCharFormat added;
    added.setBackground(QColor(0xE0, 0xF8, 0xE0));
    QTextCharFormat addedPart = added;
    addedPart.setBackground(QColor(0x98, 0xE0, 0x98));

    // Only the lines that are shown are made (one more tells that there are others).
    std::vector<job::DiffHunk> hunks;
    try {
        hunks = job::TextDiff(change.before, change.after).hunks(3, kMaxShownLines + 1);
    } catch (const std::bad_alloc&) {
        cursor.insertText(QStringLiteral("内存不足，无法显示该文件的改动\n"), plain);
        cursor.endEditBlock();
        return;
    }
    std::size_t shownLines = 0;
    for (const job::DiffHunk& part : hunks) {
        cursor.insertText(QStringLiteral("@@ -%1,%2 +%3,%4 @@\n")
                              .arg(part.oldStart)
                              .arg(part.oldCount)
                              .arg(part.newStart)
                              .arg(part.newCount),
                          hunk);
        for (const job::DiffLine& line : part.lines) {
            if (++shownLines > kMaxShownLines) {
                cursor.insertText(QStringLiteral("……（其余改动未显示）\n"), hunk);
                cursor.endEditBlock();
                m_view->moveCursor(QTextCursor::Start);
                return;
            }
            if (line.kind == job::DiffLine::Kind::Same) {
                cursor.insertText(QStringLiteral("  ") + Shown(line.text) + QStringLiteral("\n"), plain);
                continue;
            }
            const bool isRemoved = line.kind == job::DiffLine::Kind::Removed;
            const QTextCharFormat& whole = isRemoved ? removed : added;
            const QTextCharFormat& marked = isRemoved ? removedPart : addedPart;
            const std::string_view text = line.text;
            const std::size_t begin = std::min(line.changedBegin, text.size());
            const std::size_t end = std::max(begin, std::min(line.changedEnd, text.size()));
            cursor.insertText(isRemoved ? QStringLiteral("- ") : QStringLiteral("+ "), whole);
            cursor.insertText(FromUtf8(text.substr(0, begin)), whole);
            cursor.insertText(Shown(text.substr(begin, end - begin)), marked);
            cursor.insertText(Shown(text.substr(end)) + QStringLiteral("\n"), whole);
        }
    }
    cursor.endEditBlock();
    // The first change is the first hunk, at the top.
    m_view->moveCursor(QTextCursor::Start);
}

} // namespace norvik::ui
