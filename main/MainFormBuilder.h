#pragma once
// Builds the main window's parts, each named once with its component name.
#include "ui/MainFormWidgets.h"

class QMainWindow;

namespace norvik::ui {

/// Builds menus, toolbar, tabs, boxes and status bar into the window with their captions, shortcuts,
/// icons and start-up states; connects nothing.
[[nodiscard]] MainFormWidgets BuildMainFormWidgets(QMainWindow& window);

} // namespace norvik::ui
