#pragma once
// An IPlatform for window tests: every modal box or dialog answers from a script (one queue per kind
// of call) and every call is recorded with its texts, so a test can assert on what the user saw.
// A call that finds its queue empty gets the cancelling answer and is counted as unscripted.
#include <QList>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>

#include "platform/IPlatform.h"

namespace norvik::test {

struct PlatformCall {
    QString kind;   ///< "message", "yesNo", "input", "browseFolder", "openFiles", "openFile", "saveFile",
                    ///< "openPath", "openUrl"
    QString text;   ///< the message, question or prompt; the folder or path handed over
    QString detail; ///< input: the initial text; file dialogs: the filter; message: the kind
};

class ScriptedPlatform final : public platform::IPlatform {
public:
    // --- The script ---
    std::deque<bool> yesNoAnswers;                   ///< askYesNo (none left: No)
    std::deque<std::optional<QString>> inputAnswers; ///< inputText; nullopt cancels (none left: cancel)
    std::deque<QString> folderAnswers;               ///< browseFolder; "" cancels
    std::deque<QStringList> openFilesAnswers;        ///< openFiles; empty cancels
    std::deque<QString> openFileAnswers;             ///< openFile; "" cancels
    std::deque<QString> saveFileAnswers;             ///< saveFile; "" cancels
    /// Runs at every processEvents call, with the number of the call (from 1); lets a test press
    /// Pause or Stop in the middle of a long command.
    std::function<void(int)> onProcessEvents;

    // --- The record ---
    QList<PlatformCall> calls;
    int processEventsCount = 0;
    int unscripted = 0;

    /// The texts of every message box shown, in order.
    [[nodiscard]] QStringList messages() const;
    /// The recorded calls of one kind.
    [[nodiscard]] QList<PlatformCall> callsOf(const QString& kind) const;
    void clearRecord();

    void showMessage(QWidget* parent, const QString& text, platform::MessageKind kind) override;
    bool askYesNo(QWidget* parent, const QString& text) override;
    bool inputText(QWidget* parent, const QString& prompt, QString& text) override;
    QString browseFolder(QWidget* parent) override;
    QStringList openFiles(QWidget* parent, const QString& folder, const QString& filter) override;
    QString openFile(QWidget* parent, const QString& folder, const QString& filter) override;
    QString saveFile(QWidget* parent, const QString& folder, const QString& filter) override;
    void openPath(const QString& path) override;
    void openUrl(const QString& url) override;
    void processEvents() override;

private:
    template <typename T> T next(std::deque<T>& queue, T cancel) {
        if (queue.empty()) {
            ++unscripted;
            return cancel;
        }
        T answer = std::move(queue.front());
        queue.pop_front();
        return answer;
    }
};

} // namespace norvik::test
