#pragma once
// Rule texts between the editor's widgets and the rule set: working texts are GBK bytes with CR LF
// line breaks, the text boxes hold Unicode with "\n" line breaks.
#include <QString>
#include <string>
#include <string_view>

class QPlainTextEdit;

namespace norvik::ui {

/// The working text of a text box's contents, read as the main window reads its boxes (MemoTextUtf8:
/// every character kept, a non-breaking space included), then GBK with CR LF between lines.
/// Characters the code page lacks become '?', and `exact`, when given, is then set to false.
[[nodiscard]] std::string WorkingTextOf(const QPlainTextEdit& box, bool* exact = nullptr);

/// The text a text box shows for a working text: CR LF becomes "\n".
[[nodiscard]] QString BoxTextOf(std::string_view workingText);

/// A working text on one line, as a list row shows it: each line break (CR LF, lone CR or lone LF)
/// is shown as the mark "↵".
[[nodiscard]] QString RowTextOf(std::string_view workingText);

} // namespace norvik::ui
