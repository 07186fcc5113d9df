#pragma once
// Applying a whole rule list to a working text.
#include <functional>
#include <string>

#include "filedeal/ReplacePrefilter.h"
#include "rules/RuleLine.h"

namespace norvik::rules {

/// Called where long work lets the user interface handle its events.
using YieldFn = std::function<void()>;

/// Applies every normal rule line (hex find; hex replacement) in order. A line with fewer than two
/// fields is skipped; a find field that is not valid hex makes its rule inert.
void ApplyNormalRules(std::string& text, const RuleList& list, bool ignoreCase);

/// The same, leaving `text` as it is: true, with `out` holding the result, when any rule replaced
/// something (the result may still equal `text`); false, with `out` untouched, when no rule found
/// anything, so an unchanged file costs no copy of its text.
[[nodiscard]] bool ApplyNormalRules(const std::string& text, std::string& out, const RuleList& list, bool ignoreCase);

/// Applies every feature rule line (hex start; hex end; hex replacement) in order: replaces the spans
/// or, with `extract`, turns the text into its spans, one per CR LF line. Lines with fewer than three
/// fields and rules with an empty start or end are skipped. Yields before each rule and each span.
void ApplyFeatureRules(std::string& text, const RuleList& list, bool extract, const YieldFn& yield = {});

/// A filter that rules out, from its raw bytes, a file the rule list cannot change: normal rules
/// look for their find texts where characters start (in any letter case with `ignoreCase`); feature
/// rules (`feature`) need their start string somewhere in the text.
[[nodiscard]] filedeal::RawTextFilter FilterForRules(const RuleList& list, bool feature, bool ignoreCase);

} // namespace norvik::rules
