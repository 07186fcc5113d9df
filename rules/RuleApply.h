#pragma once
// Applying a whole rule list to a working text. A list is decoded once, into typed rules, for every
// file a run touches; no line is split or hex-decoded again per file.
#include <functional>
#include <string>
#include <vector>

#include "filedeal/RawReplace.h"
#include "filedeal/ReplacePrefilter.h"
#include "rules/RuleLine.h"

namespace norvik::rules {

/// Called where long work lets the user interface handle its events.
using YieldFn = std::function<void()>;

/// The normal rules (hex find; hex replacement) of `list` that can ever replace something, in list
/// order. Left out: lines with fewer than two fields and finds that decode empty (a find that is
/// not valid hex decodes empty). A replacement that is not valid hex decodes empty: that rule
/// deletes what it finds.
[[nodiscard]] std::vector<NormalRule> ParseNormalRules(const RuleList& list);

/// The feature rules (hex start; hex end; hex replacement) of `list` that can ever apply, in list
/// order. Left out: lines with fewer than three fields and rules whose start or end decodes empty.
[[nodiscard]] std::vector<FeatureRule> ParseFeatureRules(const RuleList& list);

/// Applies every rule in order, each to the previous rule's result.
void ApplyNormalRules(std::string& text, const std::vector<NormalRule>& rules, bool ignoreCase);

/// The same, leaving `text` as it is: true, with `out` holding the result, when any rule replaced
/// something (the result may still equal `text`); false, with `out` untouched, when no rule found
/// anything, so an unchanged file costs no copy of its text.
[[nodiscard]] bool ApplyNormalRules(const std::string& text, std::string& out, const std::vector<NormalRule>& rules,
                                    bool ignoreCase);

/// Applies every feature rule in order: replaces the spans or, with `extract`, turns the text into
/// its spans, one per CR LF line (a later rule works on the earlier rule's spans). Always matches
/// letter case. Yields before each rule and each span.
void ApplyFeatureRules(std::string& text, const std::vector<FeatureRule>& rules, bool extract,
                       const YieldFn& yield = {});

/// A filter that rules out, from its raw bytes, a file the rules cannot change: normal rules look
/// for their find texts where characters start (in any letter case with `ignoreCase`).
[[nodiscard]] filedeal::RawTextFilter FilterForRules(const std::vector<NormalRule>& rules, bool ignoreCase);
/// The same for feature rules: they need their start string somewhere in the text.
[[nodiscard]] filedeal::RawTextFilter FilterForRules(const std::vector<FeatureRule>& rules);

/// The normal rules, matching letter case, as a replacer of a Unicode file's own bytes (not usable
/// when a text is not whole characters that Unicode gives back).
[[nodiscard]] filedeal::RawRuleReplacer RawReplacerForRules(const std::vector<NormalRule>& rules);

} // namespace norvik::rules
