#include "job/ForecastBasis.h"

#include "filedeal/FileOps.h"
#include "rules/RuleSets.h"

namespace norvik::job {

ForecastBasis ForecastBasisOf(const JobRequest& request, const settings::ReplaceOptions& options) {
    ForecastBasis basis;
    basis.targets = request.targets;
    basis.options = options;
    basis.options.language.clear();
    basis.options.fileTypes.clear();
    basis.rules = request.rules;
    if (options.multiple) {
        const std::string path =
            !request.rules.ruleFile.empty() ? request.rules.ruleFile
            : request.rules.ruleSetName.empty()
                ? std::string()
                : rules::RuleSetPath(request.rules.ruleFolder, request.rules.ruleSetName, options.mode);
        if (!path.empty()) {
            try {
                basis.ruleFileBytes = filedeal::ReadSmallFileBytes(path);
                basis.ruleFileRead = true;
            } catch (const filedeal::FileOpenError&) {
                basis.ruleFileRead = false;
            }
        }
    }
    return basis;
}

} // namespace norvik::job
