#pragma once
// What the job, settings and language parts of the program see of the main window: its parts, its
// options and the few reactions that keep the window consistent when they change them. The main
// window implements it; the parts never know the window's class.
#include "settings/AppFolders.h"
#include "settings/ReplaceOptions.h"
#include "ui/MainFormWidgets.h"

class QWidget;

namespace norvik::platform {
class IPlatform;
}

namespace norvik::ui {

class TargetList;

class MainWindowView {
public:
    virtual ~MainWindowView() = default;

    /// The window itself: the parent of message boxes and the anchor of dialogs.
    [[nodiscard]] virtual QWidget& windowWidget() = 0;
    [[nodiscard]] virtual platform::IPlatform& platform() const = 0;
    [[nodiscard]] virtual const settings::AppFolders& folders() const = 0;
    /// Every named part of the window.
    [[nodiscard]] virtual const MainFormWidgets& widgets() const = 0;
    [[nodiscard]] virtual TargetList& targets() = 0;

    [[nodiscard]] virtual settings::ReplaceOptions& options() = 0;
    [[nodiscard]] virtual const settings::ReplaceOptions& options() const = 0;
    /// Takes the option boxes and the output mode into options() and refreshes the lines that show them.
    virtual void refreshOptions() = 0;
    /// Switches the replacement mode with everything that goes with it (tabs, buttons, rule sets).
    virtual void setMode(settings::ReplaceMode mode) = 0;
    /// The backup box is disabled while results go to an output folder.
    virtual void setBackupEnabled(bool enabled) = 0;
};

} // namespace norvik::ui
