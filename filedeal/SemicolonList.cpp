#include "filedeal/SemicolonList.h"

namespace norvik::filedeal {

namespace {

bool IsBlank(char c) noexcept {
    const auto u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}

} // namespace

std::vector<std::string> ReadSemicolonList(std::string_view text) {
    std::vector<std::string> members;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && IsBlank(text[i])) {
        ++i;
    }
    while (i < n) {
        std::string member;
        if (text[i] == '"') {
            ++i;
            while (i < n) {
                if (text[i] == '"') {
                    if (i + 1 < n && text[i + 1] == '"') {
                        member.push_back('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                member.push_back(text[i++]);
            }
        } else {
            while (i < n && text[i] != ';' && !IsBlank(text[i])) {
                member.push_back(text[i++]);
            }
        }
        members.push_back(std::move(member));
        while (i < n && IsBlank(text[i])) {
            ++i;
        }
        if (i < n && text[i] == ';') {
            ++i;
            if (i == n) {
                // Only a ";" that is the very last character adds an empty member.
                members.emplace_back();
            }
            while (i < n && IsBlank(text[i])) {
                ++i;
            }
        }
    }
    return members;
}

std::string JoinSemicolonList(const std::vector<std::string>& members) {
    std::string joined;
    for (std::size_t k = 0; k < members.size(); ++k) {
        if (k > 0) {
            joined.push_back(';');
        }
        joined += members[k];
    }
    return joined;
}

} // namespace norvik::filedeal
