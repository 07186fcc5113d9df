#pragma once
// The rule lists a job applies, built at Start from the typed texts or from the chosen rule set.
#include <string>

#include <vector>

#include "filedeal/RawReplace.h"
#include "rules/RuleLine.h"
#include "settings/ReplaceOptions.h"

namespace norvik::job {

/// The three lists a front end keeps for the program's lifetime. Each job rebuilds only the list of
/// its own mode, so the others keep what the last job of their mode left.
struct RuleLists {
    rules::RuleList normal;  ///< mode 1: hex find ; hex replacement
    rules::RuleList feature; ///< mode 2: hex start ; hex end ; hex replacement
    rules::RuleList extract; ///< mode 3: hex start ; hex end ; (replacement unused)

    /// The list a mode applies and the summary counts.
    [[nodiscard]] const rules::RuleList& forMode(settings::ReplaceMode mode) const noexcept;
};

/// The typed texts, taken exactly as the boxes hold them, line breaks included: UTF-8 in the window,
/// working text once ConvertRuleTexts (see TextGate) has converted them for a job.
struct RuleTexts {
    std::string find;               ///< Memo1
    std::string replacement;        ///< Memo2
    std::string featureStart;       ///< Memo3
    std::string featureEnd;         ///< Memo4
    std::string featureReplacement; ///< Memo5
    std::string extractStart;       ///< Memo7
    std::string extractEnd;         ///< Memo8

    friend bool operator==(const RuleTexts&, const RuleTexts&) = default;
};

/// Where a job's rules come from.
struct RuleSource {
    RuleTexts texts;         ///< used when multiple replacement is not in force
    std::string ruleFolder;  ///< the rule folder, ending with '/'
    std::string ruleSetName; ///< the chosen rule set (ComboBox1); empty when none is chosen
    /// A rule file anywhere on disk (the command line's --rules); when set it is read instead of the
    /// chosen set, whatever ruleFolder and ruleSetName say.
    std::string ruleFile;

    friend bool operator==(const RuleSource&, const RuleSource&) = default;
};

struct RuleBuildResult {
    bool ok = true;
    std::string message; ///< UTF-8, naming the rule file that could not be read; empty when ok
};

/// Rebuilds the list of `mode` in place (emptied first).
/// - multiple: the lines of the chosen set's file (".nrr" for mode 1, ".crr" for modes 2 and 3),
///   unchanged and in file order; no set chosen gives an empty list. A file that cannot be read
///   gives a failure with a message naming it, and the list stays empty.
/// - mode 1: one line from find and replacement; none when find is empty or equals the replacement.
/// - mode 2: one line from start, end and replacement; none when start or end is empty.
/// - mode 3: one line from the extraction start and end (empty replacement); none when either is empty.
[[nodiscard]] RuleBuildResult BuildRuleList(RuleLists& lists, settings::ReplaceMode mode, bool multiple,
                                            const RuleSource& source);

/// Why BuildRuleList would give no rule before any file is read, as the message a front end shows
/// ("查找内容为空,没有可执行的替换", ...); empty when the typed texts make a rule or a rule set is
/// chosen (an empty or unreadable set is reported by the run itself).
[[nodiscard]] std::string NoRuleText(settings::ReplaceMode mode, bool multiple, const RuleSource& source);

/// The three lists decoded once for a run (see rules::ParseNormalRules and ParseFeatureRules): the
/// rules that can apply, in list order, which every file of the run and every preview applies.
struct ParsedRuleLists {
    std::vector<rules::NormalRule> normal;
    std::vector<rules::FeatureRule> feature;
    std::vector<rules::FeatureRule> extract;
    /// `normal` matching letter case, for replacing in a Unicode file's own bytes.
    filedeal::RawRuleReplacer rawNormal;
};

[[nodiscard]] ParsedRuleLists ParseRuleLists(const RuleLists& lists);

/// True when every text of the rules of `mode` is whole characters of the code page: only such
/// rules can edit a text that holds characters beyond it (a half character would cut a code).
[[nodiscard]] bool RulesAreWholeCharacters(const ParsedRuleLists& lists, settings::ReplaceMode mode);

} // namespace norvik::job
