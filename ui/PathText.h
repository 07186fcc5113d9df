#pragma once
// Paths between the toolkit and the file system: a path is the file system's own bytes; the toolkit
// only shows it. Also the one way a UTF-8 text becomes a QString and back.
#include <QString>
#include <string>
#include <string_view>

namespace norvik::ui {

/// The file system bytes of a path the toolkit gave us.
[[nodiscard]] std::string PathBytes(const QString& path);
/// A path's bytes for display.
[[nodiscard]] QString PathText(const std::string& path);
/// A path as one row of a list shows it: a line break in a name is shown as "\n" or "\r", so the
/// row stays one line and what follows the name (a failure's reason) stays in sight.
[[nodiscard]] QString OneLinePathText(const QString& text);

/// A UTF-8 text (a message, a status line, a caption) for the toolkit; zero bytes are kept.
[[nodiscard]] QString FromUtf8(std::string_view text);
/// A text typed into the toolkit as UTF-8.
[[nodiscard]] std::string ToUtf8(const QString& text);

} // namespace norvik::ui
