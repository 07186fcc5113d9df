#pragma once
// Typed texts reach the core as UTF-8 (the window's boxes, the command line's arguments). Before a
// command touches any file, each text it uses is converted to working text, and a text with a
// character the code page cannot represent stops the command with a message naming that text:
// a '?' put in its place would otherwise find or write the wrong bytes in every file.
#include <span>
#include <string>
#include <string_view>

#include "job/RuleListBuilder.h"
#include "settings/ReplaceOptions.h"

namespace norvik::job {

/// Converts texts one by one and remembers the first that does not convert exactly.
class TextGate {
public:
    /// The working text of `utf8` (line breaks are kept as they are). When the conversion is not
    /// exact and no earlier text failed, remembers the message naming `what` ("查找内容", ...).
    [[nodiscard]] std::string convert(std::string_view utf8, std::string_view what);

    /// False once any converted text was not exact.
    [[nodiscard]] bool ok() const noexcept { return m_message.empty(); }
    /// The message for the first failing text (UTF-8); empty while ok.
    [[nodiscard]] const std::string& message() const noexcept { return m_message; }

private:
    std::string m_message;
};

/// What a typed text is to the job: the command line's arguments are named after these.
enum class TextRole { Find, Replacement, Start, End };

/// A typed text a job uses: where it sits in RuleTexts, its role, and the name of its box in messages.
struct TypedText {
    std::string RuleTexts::*field;
    TextRole role;
    std::string_view name;
};

/// The typed texts a job of `mode` uses, in the order of their boxes: find and replacement (Normal);
/// start, end and replacement (Feature); start and end (Extract). The three lists share no field.
[[nodiscard]] std::span<const TypedText> TextsOfMode(settings::ReplaceMode mode) noexcept;

/// Converts every text of `texts` (UTF-8 as the window holds them, CR LF between lines) into `out` and checks those the
/// job of `mode` uses (none when multiple replacement is in force: the rule set is used then). True when they all
/// convert exactly; otherwise `gate` holds the message to show and no file may be touched.
[[nodiscard]] bool ConvertRuleTexts(const RuleTexts& texts, settings::ReplaceMode mode, bool multiple, RuleTexts& out,
                                    TextGate& gate);

/// The names the typed texts go by in the message: the labels of their boxes.
inline constexpr std::string_view kFindTextName = "查找内容";
inline constexpr std::string_view kReplacementTextName = "替换内容";
inline constexpr std::string_view kStartTextName = "起始特征字符串";
inline constexpr std::string_view kEndTextName = "结束特征字符串";
/// The search text is typed into the find box's twin on the search tab.
inline constexpr std::string_view kSearchTextName = kFindTextName;

} // namespace norvik::job
