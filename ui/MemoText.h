#pragma once
// The text of a multi-line box in the form the core takes typed texts: UTF-8 with CR LF between
// lines, every character kept (a non-breaking space stays one).
#include <string>
#include <string_view>

class QPlainTextEdit;

namespace norvik::ui {

/// The box's text, lines joined by CR LF; no line break is added at the end.
[[nodiscard]] std::string MemoTextUtf8(const QPlainTextEdit& box);
/// Sets the box's text; CR LF, a lone LF and a lone CR all end a line.
void SetMemoTextUtf8(QPlainTextEdit& box, std::string_view utf8);

} // namespace norvik::ui
