#pragma once
// Several texts kept in one, joined by ";" (file types, stored targets, language names, rule fields).
#include <string>
#include <string_view>
#include <vector>

namespace norvik::filedeal {

/// Splits by the list reading rule: characters 1-32 around members are skipped, a member in double
/// quotes runs to its closing quote ("" inside stands for one), any other member ends at ";" or at a
/// character 1-32 (so a blank splits a member). A ";" that ends the text adds one empty member.
/// The empty text gives no members.
[[nodiscard]] std::vector<std::string> ReadSemicolonList(std::string_view text);

/// Joins members with ";" and no quoting.
[[nodiscard]] std::string JoinSemicolonList(const std::vector<std::string>& members);

} // namespace norvik::filedeal
