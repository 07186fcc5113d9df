#pragma once
// Rule files: ".nrr" holds normal rules, ".crr" feature rules, one hex rule line per CR LF line.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "rules/RuleLine.h"

namespace norvik::rules {

enum class RuleFileKind { None, Normal, Feature };

/// The kind by the last three characters of the name: exactly "nrr" or "crr" (lower case).
[[nodiscard]] RuleFileKind RuleFileKindOf(std::string_view fileName) noexcept;

/// Splits bytes into lines at CR LF, lone CR and lone LF; a break at the very end adds no line.
[[nodiscard]] std::vector<std::string> SplitTextLines(std::string_view bytes);

/// The lines of a rule file, unchanged. Throws filedeal::FileOpenError when it cannot be read, or is
/// no regular file or larger than filedeal::kMaxSmallFileBytes.
[[nodiscard]] RuleList ReadRuleLines(const std::filesystem::path& path);

/// The rules of a file; lines with too few fields are skipped. Throw filedeal::FileOpenError.
[[nodiscard]] std::vector<NormalRule> ReadNormalRuleFile(const std::filesystem::path& path);
[[nodiscard]] std::vector<FeatureRule> ReadFeatureRuleFile(const std::filesystem::path& path);

/// The bytes of a rule file: every line followed by CR LF; no rule gives 0 bytes.
[[nodiscard]] std::string RuleFileBytes(const RuleList& lines);

/// Write the whole file (atomically). False on failure; never throw.
[[nodiscard]] bool WriteNormalRuleFile(const std::filesystem::path& path,
                                       const std::vector<NormalRule>& rules) noexcept;
[[nodiscard]] bool WriteFeatureRuleFile(const std::filesystem::path& path,
                                        const std::vector<FeatureRule>& rules) noexcept;

} // namespace norvik::rules
