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

std::span<const TypedText> TextsOfMode(ReplaceMode mode) noexcept {
    static constexpr TypedText kNormal[] = {{&RuleTexts::find, TextRole::Find, kFindTextName},
                                            {&RuleTexts::replacement, TextRole::Replacement, kReplacementTextName}};
    static constexpr TypedText kFeature[] = {
        {&RuleTexts::featureStart, TextRole::Start, kStartTextName},
        {&RuleTexts::featureEnd, TextRole::End, kEndTextName},
        {&RuleTexts::featureReplacement, TextRole::Replacement, kReplacementTextName}};
    static constexpr TypedText kExtract[] = {{&RuleTexts::extractStart, TextRole::Start, kStartTextName},
                                             {&RuleTexts::extractEnd, TextRole::End, kEndTextName}};
    switch (mode) {
    case ReplaceMode::Feature:
        return kFeature;
    case ReplaceMode::Extract:
        return kExtract;
    case ReplaceMode::Normal:
        break;
    }
    return kNormal;
}

bool ConvertRuleTexts(const RuleTexts& texts, ReplaceMode mode, bool multiple, RuleTexts& out, TextGate& gate) {
    // A text the job will not use may hold anything: it is converted but not judged.
    TextGate unused;
    for (const ReplaceMode each : {ReplaceMode::Normal, ReplaceMode::Feature, ReplaceMode::Extract}) {
        TextGate& judge = !multiple && each == mode ? gate : unused;
        for (const TypedText& text : TextsOfMode(each)) {
            out.*text.field = judge.convert(texts.*text.field, text.name);
        }
    }
    return gate.ok();
}

} // namespace norvik::job
