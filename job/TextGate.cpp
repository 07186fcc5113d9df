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

bool ConvertRuleTexts(const RuleTextsUtf8& texts, ReplaceMode mode, bool multiple, RuleTexts& out, TextGate& gate) {
    // A text the job will not use may hold anything: it is converted but not judged.
    TextGate unused;
    auto gateFor = [&](bool used) -> TextGate& {
        return used ? gate : unused;
    };
    const bool normal = !multiple && mode == ReplaceMode::Normal;
    const bool feature = !multiple && mode == ReplaceMode::Feature;
    const bool extract = !multiple && mode == ReplaceMode::Extract;
    out.find = gateFor(normal).convert(texts.find, "查找内容");
    out.replacement = gateFor(normal).convert(texts.replacement, "替换内容");
    out.featureStart = gateFor(feature).convert(texts.featureStart, "特征开始字符串");
    out.featureEnd = gateFor(feature).convert(texts.featureEnd, "特征结束字符串");
    out.featureReplacement = gateFor(feature).convert(texts.featureReplacement, "替换内容");
    out.extractStart = gateFor(extract).convert(texts.extractStart, "提取开始字符串");
    out.extractEnd = gateFor(extract).convert(texts.extractEnd, "提取结束字符串");
    return gate.ok();
}

} // namespace norvik::job
