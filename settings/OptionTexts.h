#pragma once
// The texts that depend on the options: the add-file dialog's filter and the two status lines.
// All texts are UTF-8.
#include <string>

#include "settings/ReplaceOptions.h"

namespace norvik::settings {

/// "所有文件(*.*)|*.*" without selected types, else "支持文件类型(<types>)|<types>|所有文件(*.*)|*.*".
[[nodiscard]] std::string OpenDialogFilter(const std::string& selectedTypes);

/// The output line (Label10).
[[nodiscard]] std::string OutputLineText(bool outputToFolder, const std::string& outputFolder);

/// The file-type line (Label7).
[[nodiscard]] std::string FileTypeLineText(const std::string& selectedTypes);

/// True when every character is '*', '.', an ASCII letter or digit and there is at least one '.'.
[[nodiscard]] bool IsValidFileType(const std::string& text) noexcept;

} // namespace norvik::settings
