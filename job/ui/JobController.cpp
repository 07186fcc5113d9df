#include "job/ui/JobController.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <algorithm>

#include "job/ChangePreview.h"
#include "job/ForecastBasis.h"
#include "job/JobTexts.h"
#include "job/Restore.h"
#include "job/RuleListBuilder.h"
#include "job/TextGate.h"
#include "job/ui/ListActions.h"
#include "job/ui/PreviewPane.h"
#include "job/ui/RunHistoryDialog.h"
#include "platform/IPlatform.h"
#include "ui/MainWindowView.h"
#include "ui/MemoText.h"
#include "ui/PathListView.h"
#include "ui/PathText.h"

namespace norvik::ui {

namespace {

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

JobController::JobController(MainWindowView& form)
    : m_form(form), m_engineOptions(form.options()), m_engine(m_engineOptions) {
    // What the preview shows of a file is worked out with the rule lists of the last run, which is
    // the preview itself (any change since discards it).
    form.widgets().previewPane->setChangeOf([this](const std::string& source) {
        return job::PreviewFileChange(source, m_previewLists, m_form.options().mode, m_form.options().ignoreCase);
    });
    // 替换所选 runs the ticked files only: with none ticked there is nothing to run.
    PreviewModel& model = form.widgets().previewPane->model();
    auto updateRunButton = [this] {
        PreviewPane& pane = *m_form.widgets().previewPane;
        const auto files = pane.files();
        pane.runButton()->setEnabled(
            std::any_of(files.begin(), files.end(), [](const auto& file) { return file.second; }));
    };
    QObject::connect(&model, &QAbstractItemModel::dataChanged, &model, updateRunButton);
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, &model, updateRunButton);
    QObject::connect(&model, &QAbstractItemModel::modelReset, &model, updateRunButton);
    updateRunButton();
    // However the preview is discarded (a text typed, an option or the rule file changed), a preview
    // run still filling it forecasts what no longer holds: it stops, and what it still reports is
    // dropped, so no row of it reappears under the note.
    PreviewPane* pane = form.widgets().previewPane;
    QObject::connect(pane, &PreviewPane::discarded, pane, [this] {
        if (m_activity == Activity::Preview) {
            m_previewDropped = true;
            m_engine.requestStop();
        }
    });
}

std::vector<job::TargetEntry> JobController::targetEntries() const {
    return CheckListEntries(*m_form.widgets().targetList);
}

std::vector<job::TargetEntry> JobController::hitEntries() const {
    return CheckListEntries(*m_form.widgets().hitList);
}

std::vector<job::TargetEntry> JobController::previewEntries() const {
    std::vector<job::TargetEntry> entries;
    for (auto& [path, checked] : m_form.widgets().previewPane->files()) {
        entries.push_back({path, checked});
    }
    return entries;
}

void JobController::showMessage(const std::string& utf8, platform::MessageKind kind) {
    m_form.platform().showMessage(&m_form.windowWidget(), FromUtf8(utf8), kind);
}

// --- Commands --------------------------------------------------------------------------------------

bool JobController::buildRequest(job::JobRequest& request, bool sayWhy) {
    m_form.refreshOptions();
    const MainFormWidgets& w = m_form.widgets();
    const settings::ReplaceOptions& options = m_form.options();

    job::RuleTexts typed;
    typed.find = MemoTextUtf8(*w.findText);
    typed.replacement = MemoTextUtf8(*w.replacementText);
    typed.featureStart = MemoTextUtf8(*w.featureStartText);
    typed.featureEnd = MemoTextUtf8(*w.featureEndText);
    typed.featureReplacement = MemoTextUtf8(*w.featureReplacementText);
    typed.extractStart = MemoTextUtf8(*w.extractStartText);
    typed.extractEnd = MemoTextUtf8(*w.extractEndText);
    job::TextGate gate;
    if (!job::ConvertRuleTexts(typed, options.mode, options.multiple, request.rules.texts, gate)) {
        if (sayWhy) {
            showMessage(gate.message(), platform::MessageKind::Warning);
        }
        return false;
    }
    request.rules.ruleFolder = m_form.folders().ruleFolder();
    request.rules.ruleSetName = PathBytes(w.ruleSetChooser->currentText());
    // The search tab's ticked hits, or the preview's ticked files, stand in for the targets; the
    // targets still go with them, for the preflight every route passes.
    request.targets = targetEntries();
    if (w.listTabs->currentWidget() == w.searchPage) {
        request.useSearchHits = true;
        request.searchHits = hitEntries();
    } else if (w.listTabs->currentWidget() == w.previewPage) {
        request.useSearchHits = true;
        request.searchHits = previewEntries();
    }
    return true;
}

void JobController::startRun() {
    if (busy()) {
        return; // runs never nest, and a run never starts inside a search
    }
    job::JobRequest request;
    if (!buildRequest(request) || !hasRules(request)) {
        return;
    }
    const MainFormWidgets& w = m_form.widgets();
    const bool fromPreview = w.listTabs->currentWidget() == w.previewPage;
    if (fromPreview) {
        if (!discardStalePreview(request)) {
            return;
        }
        if (request.searchHits.empty() || std::none_of(request.searchHits.begin(), request.searchHits.end(),
                                                       [](const job::TargetEntry& entry) { return entry.checked; })) {
            // An empty run would only clear the result list that 恢复 works from.
            showMessage("没有勾选要替换的文件。", platform::MessageKind::Information);
            return;
        }
    }

    // Every run that writes is recorded, so that it can be undone later (unless switched off).
    const job::RunHistory history = runHistory();
    job::RunRecorder recorder(history);
    if (m_form.options().history) {
        request.journal = &recorder;
    }
    m_activity = Activity::Job;
    m_resultsCleared = false;
    job::RunResult result;
    runOffThread([&](job::JobObserver& observer) { result = m_engine.run(request, observer); }, *this);
    m_activity = Activity::None;
    showPauseState();
    if (fromPreview) {
        // The files have changed: the preview no longer shows what a run would do.
        w.previewPane->discard(QStringLiteral("已按预览执行替换。"));
        m_previewBasis.reset();
    }
    if (result.status == job::RunStatus::RuleFileFailed || result.status == job::RunStatus::HistoryUnavailable) {
        showMessage(result.message, platform::MessageKind::Error);
    } else if (result.status == job::RunStatus::OutputInsideTarget) {
        showMessage(result.message, platform::MessageKind::Warning);
    }
    if (m_historyDialog != nullptr && m_historyDialog->isVisible()) {
        m_historyDialog->showRuns(history.list());
    }
}

job::RunHistory JobController::runHistory() const {
    const settings::ReplaceOptions& options = m_form.options();
    return job::RunHistory(m_form.folders().historyFolder, {options.historyMaxRuns, options.historyMaxBytes});
}

void JobController::openRunHistory() {
    if (m_historyDialog == nullptr) {
        m_historyDialog =
            new RunHistoryDialog(&m_form.windowWidget(), [this](const std::string& id) { restoreRun(id); });
    }
    m_historyDialog->showRuns(runHistory().list());
    m_historyDialog->open();
}

void JobController::restoreRun(const std::string& id) {
    if (busy() || m_historyDialog == nullptr) {
        return;
    }
    if (!m_form.platform().askYesNo(m_historyDialog,
                                    QStringLiteral("把运行%1写入的文件恢复为运行之前的内容吗?").arg(FromUtf8(id)))) {
        return;
    }
    // What the restore did, line by line: each file put back, each one refused with its reason.
    struct Outcome final : job::JobObserver {
        QStringList lines;
        void resultLine(const std::string& path) override { lines << QStringLiteral("已恢复 ") + PathText(path); }
        void failure(const job::FileFailure& failure) override {
            lines << PathText(job::ErrorLineText(failure.path)) + QStringLiteral(" (") +
                         FromUtf8(job::FailureReasonText(failure.reason)) + QStringLiteral(")");
        }
    } outcome;
    const job::RunHistory history = runHistory();
    job::RestoreRunResult result;
    m_activity = Activity::Restore;
    runOffThread([&](job::JobObserver& observer) { result = m_engine.restoreRun(history, id, observer); }, outcome);
    m_activity = Activity::None;
    const QString summary = result.status == job::RestoreRunStatus::Done
                                ? FromUtf8(job::RunRestoredText(result.restored, result.failed))
                                : FromUtf8(result.message);
    if (result.status == job::RestoreRunStatus::Done && !result.message.empty()) {
        outcome.lines << FromUtf8(result.message); // undone, but not marked so
    }
    m_historyDialog->showRuns(history.list());
    m_historyDialog->showOutcome(outcome.lines, summary);
}

void JobController::previewRun() {
    if (busy()) {
        return;
    }
    const MainFormWidgets& w = m_form.widgets();
    // The preview of a preview is the same preview: it runs over the targets.
    if (w.listTabs->currentWidget() == w.previewPage) {
        w.listTabs->setCurrentIndex(kTargetsTab);
    }
    job::JobRequest request;
    if (!buildRequest(request) || !hasRules(request)) {
        return;
    }
    request.dryRun = true;
    w.previewPane->discard();
    w.listTabs->setTabVisible(kPreviewTab, true);
    w.listTabs->setCurrentIndex(kPreviewTab);

    m_activity = Activity::Preview;
    m_previewSourceDue = false;
    m_previewDropped = false;
    m_previewBasis = job::ForecastBasisOf(request, m_form.options());
    m_summaryReported = false;
    job::RunResult result;
    runOffThread([&](job::JobObserver& observer) { result = m_engine.run(request, observer); }, *this);
    m_activity = Activity::None;
    showPauseState();
    if (m_summaryReported) {
        // The engine's counts, worded as a forecast: nothing was written.
        w.summaryPanel->setText(FromUtf8(job::PreviewSummaryText(result.ruleCount, result.counters)));
    }
    if (result.status == job::RunStatus::RuleFileFailed) {
        showMessage(result.message, platform::MessageKind::Error);
    } else if (result.status == job::RunStatus::OutputInsideTarget) {
        showMessage(result.message, platform::MessageKind::Warning);
    }
}

bool JobController::hasRules(const job::JobRequest& request) {
    const std::string why = job::NoRuleText(m_form.options().mode, m_form.options().multiple, request.rules);
    if (why.empty()) {
        return true;
    }
    showMessage(why, platform::MessageKind::Information);
    return false;
}

void JobController::togglePause() {
    m_engine.togglePause();
    showPauseState();
}

void JobController::showPauseState() {
    const bool paused = m_engine.flags().paused;
    m_form.widgets().pauseButton->setChecked(paused);
    QLabel* panel = m_form.widgets().summaryPanel;
    if (paused && !m_pauseShown) {
        m_summaryBeforePause = panel->text();
        panel->setText(QStringLiteral("已暂停,再按暂停继续"));
    } else if (!paused && m_pauseShown) {
        panel->setText(m_summaryBeforePause);
    }
    m_pauseShown = paused;
}

bool JobController::discardStalePreview() {
    if (!m_previewBasis || m_form.widgets().previewPane->isEmpty()) {
        return true;
    }
    job::JobRequest request;
    if (!buildRequest(request, false)) {
        return true; // the next Start says what is wrong with the texts
    }
    return discardStalePreview(request);
}

bool JobController::discardStalePreview(const job::JobRequest& request) {
    if (!m_previewBasis) {
        return true;
    }
    if (job::ForecastBasisOf(request, m_form.options()) == *m_previewBasis) {
        return true;
    }
    m_previewBasis.reset();
    m_form.widgets().previewPane->discard(QStringLiteral("目标、选项、文本或规则已改变，请重新预览。"));
    return false;
}

void JobController::stopRun() {
    // A run that is still collecting its targets is a run too: stopped there, it writes nothing.
    const bool collecting = m_engine.isBusy() && (m_activity == Activity::Job || m_activity == Activity::Preview);
    if (!m_engine.isRunning() && !collecting) {
        return;
    }
    if (askDuringRun(QStringLiteral("替换进行中,确定要停止替换吗?"))) {
        m_engine.requestStop();
    }
}

bool JobController::mayClose() {
    if (m_engine.isRunning()) {
        if (!askDuringRun(QStringLiteral("替换进行中,确定要关闭吗?"))) {
            return false;
        }
        m_engine.requestStop();
        return true;
    }
    // Collecting files or searching: nobody could see the rest of it once the window is gone.
    m_engine.requestStop();
    return true;
}

void JobController::restoreBackups() {
    const job::RestoreResult result =
        job::RestoreBackups(m_form.widgets().resultList->rows().paths(), m_form.options());
    if (!result.message.empty()) {
        showMessage(result.message, platform::MessageKind::Information);
    }
}

void JobController::searchTargets() {
    if (busy()) {
        return;
    }
    const std::string typed = MemoTextUtf8(*m_form.widgets().searchText);
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
    m_errorTabShown = false;
    runOffThread([this, targets = targetEntries(),
                  &text](job::JobObserver& observer) { static_cast<void>(m_engine.search(targets, text, observer)); },
                 *this);
    m_activity = Activity::None;
}

// --- What the engine reports -----------------------------------------------------------------------

void JobController::runOffThread(std::function<void(job::JobObserver&)> work, job::JobObserver& target) {
    m_engineOptions = m_form.options(); // the engine is idle: nothing reads them now
    const auto pace = m_pumpInterval.count() == 0 ? job::EngineRelay::Pace::Lockstep : job::EngineRelay::Pace::Free;
    m_relay.start(std::move(work), pace);
    while (m_relay.pump(target, std::chrono::steady_clock::now() + m_pumpInterval)) {
        showReported();
        m_form.platform().processEvents();
        // What the window's commands changed applies to the files that follow.
        m_relay.resume([this, options = m_form.options()] { m_engineOptions = options; });
    }
    showReported();
    // A preview's files are shown with the rule lists of the run that made it.
    m_previewLists = m_engine.parsedRuleLists();
}

bool JobController::askDuringRun(const QString& question) {
    m_relay.hold(true);
    const bool yes = m_form.platform().askYesNo(&m_form.windowWidget(), question);
    m_relay.hold(false);
    return yes;
}

void JobController::showReported() {
    const MainFormWidgets& w = m_form.widgets();
    if (m_changedFileDue) {
        m_changedFileDue = false;
        w.currentFileLine->setText(PathText(m_changedFile));
    }
    if (m_percentDue) {
        m_percentDue = false;
        w.progressPanel->setText(FromUtf8(job::ProgressText(m_percent)));
    }
    for (PathListView* list : {w.resultList, w.errorList, w.hitList}) {
        list->rows().publish();
    }
    w.previewPane->publish();
}

void JobController::filesCollected(std::size_t count) {
    static_cast<void>(count);
    const MainFormWidgets& w = m_form.widgets();
    if (m_activity == Activity::Search) {
        w.hitList->rows().clear();
        return;
    }
    if (m_activity == Activity::Preview) {
        return; // the lists of the last real run stay: restore works from them
    }
    // The result list is what 恢复 works from: it is replaced when this run writes its first file,
    // so a run that writes nothing leaves the last one's undo in place.
    w.errorList->rows().clear();
    w.listTabs->setTabVisible(kErrorsTab, false);
    w.listTabs->setCurrentIndex(kResultsTab);
    m_errorTabShown = false;
}

void JobController::progress(unsigned percent) {
    m_percent = percent;
    m_percentDue = true;
}

void JobController::changedFile(const std::string& sourcePath) {
    m_changedFile = sourcePath;
    m_changedFileDue = true;
    m_previewSource = sourcePath;
    m_previewSourceDue = true;
}

void JobController::resultLine(const std::string& path) {
    if (m_activity == Activity::Preview) {
        if (!m_previewDropped) {
            m_form.widgets().previewPane->addFile(m_previewSourceDue ? m_previewSource : path);
        }
        m_previewSourceDue = false;
        return;
    }
    PathListModel& results = m_form.widgets().resultList->rows();
    if (!m_resultsCleared) {
        m_resultsCleared = true;
        results.clear();
    }
    results.append(path);
}

void JobController::failure(const job::FileFailure& failure) {
    const MainFormWidgets& w = m_form.widgets();
    const QString reason = FromUtf8(job::FailureReasonText(failure.reason));
    if (m_activity == Activity::Preview) {
        m_previewSourceDue = false;
        if (!m_previewDropped) {
            w.previewPane->addFailure(failure.source, reason);
        }
        return;
    }
    if (m_activity == Activity::Search && !m_errorTabShown) {
        w.errorList->rows().clear(); // the search's failures replace the last run's
    }
    w.errorList->rows().append(job::ErrorLineText(failure.path), false, reason);
    if (!m_errorTabShown) {
        m_errorTabShown = true;
        w.listTabs->setTabVisible(kErrorsTab, true);
    }
}

void JobController::hit(const std::string& path) {
    m_form.widgets().hitList->rows().append(path, true);
}

void JobController::summary(const std::string& text) {
    showReported();
    // The summary takes the panel's place of the pause note: the run is over.
    m_pauseShown = false;
    m_summaryReported = true;
    if (m_activity != Activity::Preview) { // a preview words its counts as a forecast when it ends
        m_form.widgets().summaryPanel->setText(FromUtf8(text));
    }
}

void JobController::elapsed(const std::string& text) {
    m_form.widgets().elapsedPanel->setText(FromUtf8(text));
}

} // namespace norvik::ui
