#pragma once
// The window's side of the batch job and the search: gathers the window's state into a request, runs
// the engine and shows what it reports in the lists, the status bar and Label3.
//
// The engine works on a thread of its own (see EngineRelay); the window's thread only shows. While a
// run is under way the command that started it pumps: once per pump interval it takes what the engine
// reported, publishes the new rows, sets the labels and handles the window's events, so Pause, Stop,
// closing and every other command reach the engine from inside a run; they only set the engine's
// flags, which its loop reads between files. A change of the options made meanwhile (a mode command,
// the configuration dialog) is handed to the engine's thread, which takes it at its next yield.
//
// The engine reports every file; the window shows a few pictures a second. So the per-file calls
// only store what they report (a row appended to a list model, the newest path and percent), and
// each pump shows them.
#include <QString>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "job/EngineRelay.h"
#include "job/ForecastBasis.h"
#include "job/JobEngine.h"
#include "job/JobObserver.h"
#include "job/RuleListBuilder.h"
#include "platform/IPlatform.h"
#include "settings/ReplaceOptions.h"

namespace norvik::ui {

class MainWindowView;
class RunHistoryDialog;

class JobController final : public job::JobObserver {
public:
    /// The engine reads `form.options()`, which lives as long as the window.
    explicit JobController(MainWindowView& form);
    JobController(const JobController&) = delete;
    JobController& operator=(const JobController&) = delete;

    /// Start: takes the options from the check boxes, then runs the job over the ticked targets, or
    /// over the ticked hits when the search tab is showing, or over the preview's ticked files when
    /// the preview tab is showing (only while nothing the forecast depends on has changed, and only
    /// with a file ticked). Ignored while a run or a search is under way.
    void startRun();
    /// Preview: the job startRun would run, as a dry run; the files it would write and the failures it
    /// foresees go to the preview tab, which is shown. The result and error lists stay as they are.
    void previewRun();
    /// Pause: flips the pause while the file loop runs, and shows it (the button stays pressed and the
    /// status bar says 已暂停 until the run goes on or ends); otherwise nothing.
    void togglePause();
    /// Stop: while a run collects its targets or works through its files, asks first and stops on
    /// Yes; otherwise nothing.
    void stopRun();
    /// Discards the preview when anything its forecast depends on has changed since it was made (the
    /// rule file on disk included). False when it did. Whatever discards the preview, a preview run
    /// still filling it is stopped and the rest of its rows dropped: the pane keeps only the note.
    bool discardStalePreview();
    /// Asked before the window closes. While the file loop runs the user decides (Yes stops the run);
    /// a run that is still collecting its files, or a search, is stopped without a question.
    [[nodiscard]] bool mayClose();
    /// Puts the backups back over the paths of the result list and says how it went.
    void restoreBackups();
    /// 历史记录: opens the dialog that lists the runs of the history and undoes the chosen one.
    void openRunHistory();
    /// Undoes the run `id` of the history (after asking), and shows in the dialog what it did. Ignored
    /// while a run or a search is under way.
    void restoreRun(const std::string& id);
    [[nodiscard]] RunHistoryDialog* runHistoryDialog() const { return m_historyDialog; }

    /// Searches the ticked targets for Memo6's text and lists the hits ticked. Ignored while a run or
    /// a search is under way; an empty text does nothing.
    void searchTargets();

    [[nodiscard]] const job::JobEngine& engine() const { return m_engine; }

    /// How long the engine works between two pumps of the window's events. Zero pumps at every yield
    /// of the engine, which waits for each pump (a scripted window clicks at a given file so).
    void setPumpInterval(std::chrono::milliseconds interval) { m_pumpInterval = interval; }
    static constexpr std::chrono::milliseconds kDefaultPumpInterval{40};

    // --- What the engine reports (replayed on the window's thread) -----------------------------------
    void filesCollected(std::size_t count) override;
    void progress(unsigned percent) override;
    void changedFile(const std::string& sourcePath) override;
    void resultLine(const std::string& path) override;
    void failure(const job::FileFailure& failure) override;
    void hit(const std::string& path) override;
    void summary(const std::string& text) override;
    void elapsed(const std::string& text) override;

private:
    enum class Activity { None, Job, Preview, Search, Restore };

    /// A run, a search or a restore is under way (its thread may not have told the engine yet).
    [[nodiscard]] bool busy() const noexcept { return m_relay.active() || m_engine.isBusy(); }
    /// Runs `work` on the engine's thread and pumps until it ends; its reports go to `target` on this
    /// thread.
    void runOffThread(std::function<void(job::JobObserver&)> work, job::JobObserver& target);
    /// Asks the user while a run is under way; the engine waits meanwhile.
    [[nodiscard]] bool askDuringRun(const QString& question);

    [[nodiscard]] std::vector<job::TargetEntry> targetEntries() const;
    [[nodiscard]] std::vector<job::TargetEntry> hitEntries() const;
    [[nodiscard]] std::vector<job::TargetEntry> previewEntries() const;
    /// Builds the request startRun and previewRun share; false (after a message) when a typed text cannot
    /// be used.
    [[nodiscard]] bool buildRequest(job::JobRequest& request, bool sayWhy = true);
    bool discardStalePreview(const job::JobRequest& request);
    /// False (after saying why) when the request has no rule to apply: nothing would run.
    [[nodiscard]] bool hasRules(const job::JobRequest& request);
    /// The pause button and the status bar follow the engine's pause.
    void showPauseState();
    void showMessage(const std::string& utf8, platform::MessageKind kind);
    /// Shows what the engine reported since the last pump: new rows, Label3 and the percent.
    void showReported();

    /// The history of the window's settings: its folder and its limits.
    [[nodiscard]] job::RunHistory runHistory() const;

    MainWindowView& m_form;
    /// The options as the engine reads them: the window's, copied at the start of each piece of work
    /// and after each pump, on the engine's thread.
    settings::ReplaceOptions m_engineOptions;
    job::JobEngine m_engine;
    job::EngineRelay m_relay;
    job::ParsedRuleLists m_previewLists;         ///< the rule lists of the last run, for the preview's files
    RunHistoryDialog* m_historyDialog = nullptr; ///< made when first opened; a child of the window
    Activity m_activity = Activity::None;
    bool m_errorTabShown = false;                     ///< the error tab was shown by this run's first failure
    bool m_resultsCleared = false;                    ///< this run has replaced the last run's result list
    std::optional<job::ForecastBasis> m_previewBasis; ///< what the preview on show was made from
    std::chrono::milliseconds m_pumpInterval = kDefaultPumpInterval;
    std::string m_changedFile; ///< the newest changed file, for Label3
    bool m_changedFileDue = false;
    std::string m_previewSource; ///< the file the engine reported changed, until its outcome comes
    bool m_previewSourceDue = false;
    bool m_previewDropped = false; ///< the preview run under way was discarded: its reports are dropped
    unsigned m_percent = 0;
    bool m_percentDue = false;
    bool m_pauseShown = false;      ///< the summary panel says 已暂停
    QString m_summaryBeforePause;   ///< what it said before
    bool m_summaryReported = false; ///< the run in hand reached its summary
};

} // namespace norvik::ui
