#pragma once
// Everything modal or desktop-bound that the windows use. The real implementation shows Qt dialogs;
// tests install a scripted one that answers from a script and records every call.
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace norvik::platform {

enum class MessageKind { Information, Warning, Error };

class IPlatform {
public:
    virtual ~IPlatform() = default;

    /// A box with an OK button; the caption is the application title.
    virtual void showMessage(QWidget* parent, const QString& text, MessageKind kind = MessageKind::Information) = 0;
    /// A box with Yes and No; true for Yes.
    virtual bool askYesNo(QWidget* parent, const QString& text) = 0;
    /// A one-line input box; false when cancelled.
    virtual bool inputText(QWidget* parent, const QString& prompt, QString& text) = 0;
    /// The folder browser; an empty text when cancelled.
    virtual QString browseFolder(QWidget* parent) = 0;
    /// A multi-select open-file dialog; empty when cancelled.
    virtual QStringList openFiles(QWidget* parent, const QString& folder, const QString& filter) = 0;
    /// A single-select open-file dialog; empty when cancelled.
    virtual QString openFile(QWidget* parent, const QString& folder, const QString& filter) = 0;
    /// A save dialog; empty when cancelled. Appends no extension.
    virtual QString saveFile(QWidget* parent, const QString& folder, const QString& filter) = 0;
    /// Opens a file with its program, or a folder in the file manager.
    virtual void openPath(const QString& path) = 0;
    /// Opens a URL (help document anchors included).
    virtual void openUrl(const QString& url) = 0;
    /// Handles every waiting window event, then returns.
    virtual void processEvents() = 0;
};

/// Runs a command's handler. An unexpected failure inside it ends the command, not the program:
/// the failure is shown in an error box over `parent` and the window goes on.
void RunCommand(IPlatform& platform, QWidget* parent, const std::function<void()>& command);

/// Filters use the form "description|pattern|description|pattern"; this turns one into the
/// ";;"-separated form of Qt's file dialogs.
QString ToQtFilter(const QString& filter);

} // namespace norvik::platform
