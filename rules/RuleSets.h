#pragma once
// The rule sets offered by the main window's chooser.
#include <string>
#include <vector>

#include "settings/ReplaceOptions.h"

namespace norvik::rules {

/// The rule folder: the executable's folder (ending with '/') followed by "MultiReplace/".
[[nodiscard]] std::string RuleFolderOf(const std::string& exeFolder);

/// The entries of the chooser for a mode: every "*.nrr" (mode 1) or "*.crr" (modes 2 and 3) found in
/// the rule folder and its subfolders, in scan order; each entry is the file-name part of the full
/// path with the first exact lower-case ".nrr"/".crr" cut out (so "Rules.NRR" stays "Rules.NRR").
[[nodiscard]] std::vector<std::string> ListRuleSets(const std::string& ruleFolder, settings::ReplaceMode mode);

/// The path the job and the editor use for a chosen entry: rule folder + name + ".nrr" or ".crr".
[[nodiscard]] std::string RuleSetPath(const std::string& ruleFolder, const std::string& name,
                                      settings::ReplaceMode mode);

} // namespace norvik::rules
