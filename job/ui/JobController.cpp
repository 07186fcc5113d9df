#include "job/ui/JobController.h"

#include <QComboBox>
#include <QLabel>
#include <QTabWidget>

#include "job/JobTexts.h"
#include "job/Restore.h"
#include "job/TextGate.h"
#include "job/ui/ListActions.h"
#include "main/PathListView.h"
#include "main/TMainForm.h"
#include "platform/IPlatform.h"

namespace norvik::ui {

namespace {

QString Utf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

/// Every row of a tick-box list with its tick.
std::vector<job::TargetEntry> CheckListEntries(const PathListView& list) {
    const PathListModel& rows = list.rows();
    std::vector<job::TargetEntry> entries;
    entries.reserve(static_cast<std::size_t>(rows.size()));
    for (int row = 0; row < rows.size(); ++row) {
        entries.push_back({rows.bytesAt(row), rows.isChecked(row)});
    }
    return entries;
}

} // namespace

JobController::JobController(TMainForm& form) : m_form(form), m_engine(form.options()) {}

std::vector<job::TargetEntry> JobController::targetEntries() const {
    return CheckListEntries(*m_form.widgets().checkListBox1);
}

std::vector<job::TargetEntry> JobController::hitEntries() const {
    return CheckListEntries(*m_form.widgets().checkListBox2);
}

void JobController::showMessage(const std::string& utf8, platform::MessageKind kind) {
    m_form.platform().showMessage(&m_form, Utf8(utf8), kind);
}

// --- Commands --------------------------------------------------------------------------------------

void JobController::Start() {
    if (m_engine.isBusy()) {
        return; // runs never nest, and a run never starts inside a search
    }
    m_form.RefreshOptions();
    const MainFormWidgets& w = m_form.widgets();
    const settings::ReplaceOptions& options = m_form.options();

    job::RuleTextsUtf8 typed;
    typed.find = m_form.memoText(1);
    typed.replacement = m_form.memoText(2);
    typed.featureStart = m_form.memoText(3);
    typed.featureEnd = m_form.memoText(4);
    typed.featureReplacement = m_form.memoText(5);
    typed.extractStart = m_form.memoText(7);
    typed.extractEnd = m_form.memoText(8);
    job::JobRequest request;
    job::TextGate gate;
    if (!job::ConvertRuleTexts(typed, options.mode, options.multiple, request.rules.texts, gate)) {
        showMessage(gate.message(), platform::MessageKind::Warning);
        return;
    }
    request.rules.ruleFolder = m_form.ruleFolder();
    request.rules.ruleSetName = PathBytes(w.comboBox1->currentText());
    request.useSearchHits = w.pageControl2->currentWidget() == w.tabSheets[7];
    if (request.useSearchHits) {
        request.searchHits = hitEntries();
    } else {
        request.targets = targetEntries();
    }

    m_activity = Activity::Job;
    m_sincePump.start();
    const job::RunResult result = m_engine.run(request, *this);
    m_activity = Activity::None;
    showReported();
    if (result.status == job::RunStatus::RuleFileFailed) {
        showMessage(result.message, platform::MessageKind::Error);
    }
}

void JobController::Pause() {
    m_engine.togglePause();
}

void JobController::Stop() {
    if (!m_engine.isRunning()) {
        return;
    }
    if (m_form.platform().askYesNo(&m_form, QStringLiteral("替换进行中,确定要停止替换吗?"))) {
        m_engine.requestStop();
    }
}

bool JobController::CloseQuery() {
    if (m_engine.isRunning()) {
        if (!m_form.platform().askYesNo(&m_form, QStringLiteral("替换进行中,确定要关闭吗?"))) {
            return false;
        }
        m_engine.requestStop();
        return true;
    }
    // Collecting files or searching: nobody could see the rest of it once the window is gone.
    m_engine.requestStop();
    return true;
}

void JobController::Restore() {
    const job::RestoreResult result = job::RestoreBackups(m_form.widgets().listBox1->rows().paths(), m_form.options());
    if (!result.message.empty()) {
        showMessage(result.message, platform::MessageKind::Information);
    }
}

void JobController::Search() {
    if (m_engine.isBusy()) {
        return;
    }
    const std::string typed = m_form.memoText(6);
    if (typed.empty()) {
        return;
    }
    job::TextGate gate;
    const std::string text = gate.convert(typed, job::kSearchTextName);
    if (!gate.ok()) {
        showMessage(gate.message(), platform::MessageKind::Warning);
        return;
    }
    m_activity = Activity::Search;
    m_sincePump.start();
    static_cast<void>(m_engine.search(targetEntries(), text, *this));
    m_activity = Activity::None;
    showReported();
}

// --- What the engine reports -----------------------------------------------------------------------

void JobController::yield() {
    const bool due = m_pumpInterval.count() == 0 || m_engine.flags().paused || !m_sincePump.isValid() ||
                     m_sincePump.elapsed() >= m_pumpInterval.count();
    if (!due) {
        return;
    }
    showReported();
    m_form.platform().processEvents();
    m_sincePump.start();
}

void JobController::showReported() {
    const MainFormWidgets& w = m_form.widgets();
    if (m_changedFileDue) {
        m_changedFileDue = false;
        w.labels[3]->setText(PathText(m_changedFile));
    }
    if (m_percentDue) {
        m_percentDue = false;
        m_form.setStatusPanel(1, Utf8(job::ProgressText(m_percent)));
    }
    for (PathListView* list : {w.listBox1, w.listBox2, w.checkListBox2}) {
        list->rows().publish();
    }
}

void JobController::filesCollected(std::size_t count) {
    static_cast<void>(count);
    const MainFormWidgets& w = m_form.widgets();
    if (m_activity == Activity::Search) {
        w.checkListBox2->rows().clear();
        return;
    }
    w.listBox1->rows().clear();
    w.listBox2->rows().clear();
    w.pageControl2->setTabVisible(kErrorsTab, false);
    w.pageControl2->setCurrentIndex(kResultsTab);
    m_errorTabShown = false;
}

void JobController::progress(unsigned percent) {
    m_percent = percent;
    m_percentDue = true;
}

void JobController::changedFile(const std::string& sourcePath) {
    m_changedFile = sourcePath;
    m_changedFileDue = true;
}

void JobController::resultLine(const std::string& path) {
    m_form.widgets().listBox1->rows().append(path);
}

void JobController::errorLine(const std::string& line) {
    const MainFormWidgets& w = m_form.widgets();
    w.listBox2->rows().append(line);
    if (!m_errorTabShown) {
        m_errorTabShown = true;
        w.pageControl2->setTabVisible(kErrorsTab, true);
    }
}

void JobController::hit(const std::string& path) {
    m_form.widgets().checkListBox2->rows().append(path, true);
}

void JobController::summary(const std::string& text) {
    showReported();
    m_form.setStatusPanel(2, Utf8(text));
}

void JobController::elapsed(const std::string& text) {
    m_form.setStatusPanel(0, Utf8(text));
}

} // namespace norvik::ui
