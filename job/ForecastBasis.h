#pragma once
// What a preview's forecast was made from. A run from the preview (its ticked files) is only the run
// the user saw forecast while none of it has changed: the targets, the options (output folder
// included), the typed texts, the mode, the chosen rule set and that rule file's bytes on disk.
#include <string>
#include <vector>

#include "job/JobEngine.h"
#include "settings/ReplaceOptions.h"

namespace norvik::job {

struct ForecastBasis {
    std::vector<TargetEntry> targets;
    settings::ReplaceOptions options; ///< the language and the list of known masks do not count
    RuleSource rules;
    bool ruleFileRead = false; ///< multiple replacement: the rule file could be read
    std::string ruleFileBytes; ///< multiple replacement: the rule file as it was

    friend bool operator==(const ForecastBasis&, const ForecastBasis&) = default;
};

/// The basis of a forecast made (or a run about to be made) from `request` under `options`; the rule
/// file of multiple replacement is read now. The request's own file list (hits, previewed files) is
/// not part of it.
[[nodiscard]] ForecastBasis ForecastBasisOf(const JobRequest& request, const settings::ReplaceOptions& options);

} // namespace norvik::job
