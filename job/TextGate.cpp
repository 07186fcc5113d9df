#include "job/TextGate.h"

#include "filedeal/CodePage.h"
#include "job/JobTexts.h"

namespace norvik::job {

using settings::ReplaceMode;

std::string TextGate::convert(std::string_view utf8, std::string_view what) {
    bool exact = true;
    std::string text = filedeal::Utf8ToCodePage(utf8, &exact);
    if (!exact && m_message.empty()) {
        m_message = UnrepresentableTextText(what);
    }
    return text;
}

bool ConvertRuleTexts(const RuleTexts& texts, ReplaceMode mode, bool multiple, RuleTexts& out, TextGate& gate) {
    // A text the job will not use may hold anything: it is converted but not judged.
    TextGate unused;
    auto gateFor = [&](bool used) -> TextGate& {
        return used ? gate : unused;
    };
    const bool normal = !multiple && mode == ReplaceMode::Normal;
    const bool feature = !multiple && mode == ReplaceMode::Feature;
    const bool extract = !multiple && mode == ReplaceMode::Extract;
    out.find = gateFor(normal).convert(texts.find, kFindTextName);
    out.replacement = gateFor(normal).convert(texts.replacement, kReplacementTextName);
    out.featureStart = gateFor(feature).convert(texts.featureStart, kStartTextName);
    out.featureEnd = gateFor(feature).convert(texts.featureEnd, kEndTextName);
    out.featureReplacement = gateFor(feature).convert(texts.featureReplacement, kReplacementTextName);
    out.extractStart = gateFor(extract).convert(texts.extractStart, kStartTextName);
    out.extractEnd = gateFor(extract).convert(texts.extractEnd, kEndTextName);
    return gate.ok();
}

} // namespace norvik::job
