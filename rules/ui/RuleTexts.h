#pragma once
// Rule texts between the editor's widgets and the rule set: working texts are GBK bytes with CR LF
// line breaks, the text boxes hold Unicode with "\n" line breaks.
#include <QString>
#include <string>
#include <string_view>

namespace norvik::ui {

/// The working text of a text box's contents: GBK, every "\n" written as CR LF. Characters the code
/// page lacks become '?', and `exact`, when given, is then set to false.
[[nodiscard]] std::string WorkingTextOf(const QString& boxText, bool* exact = nullptr);

/// The text a text box shows for a working text: CR LF becomes "\n".
[[nodiscard]] QString BoxTextOf(std::string_view workingText);

/// A working text on one line, as a list row shows it: each line break (CR LF, lone CR or lone LF)
/// is shown as the mark "↵".
[[nodiscard]] QString RowTextOf(std::string_view workingText);

} // namespace norvik::ui
