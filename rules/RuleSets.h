#pragma once
// The rule sets offered by the main window's chooser.
#include <string>
#include <string_view>
#include <vector>

#include "rules/ReplaceMode.h"

namespace norvik::rules {

/// The name of the rule folder, wherever it lives (beside the executable, in the user's data folder,
/// among the shipped files).
inline constexpr std::string_view kRuleFolderName = "MultiReplace";

/// The rule folder: the executable's folder (ending with '/') followed by "MultiReplace/".
/// A folder given without its final '/' gets one.
[[nodiscard]] std::string RuleFolderOf(const std::string& exeFolder);

/// The entries of the chooser for a mode: every file matching "*.nrr" (mode 1) or "*.crr" (modes 2
/// and 3, mask letters in any case) in the rule folder and its subfolders, in scan order; folders whose
/// names match are not rule sets and are left out. An entry is the file name with its extension cut
/// off when the name ends with exactly ".nrr"/".crr"; otherwise the first exact lower-case ".nrr"/".crr"
/// inside the file name is cut out, so "Rules.NRR" stays "Rules.NRR". A missing folder gives no entry.
[[nodiscard]] std::vector<std::string> ListRuleSets(const std::string& ruleFolder, ReplaceMode mode);

/// The path the job and the editor use for a chosen entry: rule folder + name + ".nrr" (mode 1) or
/// ".crr" (modes 2 and 3).
[[nodiscard]] std::string RuleSetPath(const std::string& ruleFolder, const std::string& name, ReplaceMode mode);

} // namespace norvik::rules
