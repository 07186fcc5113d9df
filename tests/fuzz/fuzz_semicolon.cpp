// The semicolon-list reader on arbitrary text against a reference written from the reading rule,
// and the join/read round trip for members the join can carry.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "filedeal/SemicolonList.h"

namespace {

bool IsSeparatorBlank(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}

// The reading rule, sentence by sentence: skip leading blanks; then, while text remains, read one
// member (quoted or plain), skip blanks, and if a ";" follows skip it and the blanks after it, adding
// an empty member when that ";" was the last character.
std::vector<std::string> ReferenceRead(std::string_view text) {
    std::vector<std::string> members;
    std::size_t pos = 0;
    auto skipBlanks = [&] {
        while (pos < text.size() && IsSeparatorBlank(text[pos])) {
            ++pos;
        }
    };
    skipBlanks();
    while (pos < text.size()) {
        std::string member;
        if (text[pos] == '"') {
            ++pos;
            for (;;) {
                if (pos >= text.size()) {
                    break; // no closing quote: the member runs to the end
                }
                if (text[pos] != '"') {
                    member += text[pos++];
                } else if (pos + 1 < text.size() && text[pos + 1] == '"') {
                    member += '"';
                    pos += 2;
                } else {
                    ++pos;
                    break;
                }
            }
        } else {
            const std::size_t from = pos;
            while (pos < text.size() && text[pos] != ';' && !IsSeparatorBlank(text[pos])) {
                ++pos;
            }
            member.assign(text.substr(from, pos - from));
        }
        members.push_back(member);
        skipBlanks();
        if (pos < text.size() && text[pos] == ';') {
            const bool last = pos + 1 == text.size();
            ++pos;
            skipBlanks();
            if (last) {
                members.emplace_back();
            }
        }
    }
    return members;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace norvik::filedeal;
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    const std::vector<std::string> members = ReadSemicolonList(input);
    NORVIK_FUZZ_CHECK(members == ReferenceRead(input));
    bool onlyBlanks = true;
    for (char c : input) {
        onlyBlanks = onlyBlanks && IsSeparatorBlank(c);
    }
    NORVIK_FUZZ_CHECK(members.empty() == onlyBlanks);

    // Members the plain join can carry: no ";", no character 1-32, no opening double quote. Every
    // byte 0xFF of the input starts a new member, so empty members and runs of them occur too.
    std::vector<std::string> plain(1);
    for (char c : input) {
        if (static_cast<unsigned char>(c) == 0xFF) {
            plain.emplace_back();
        } else if (c != ';' && !IsSeparatorBlank(c) && !(c == '"' && plain.back().empty())) {
            plain.back() += c;
        }
    }
    // The one list the join cannot tell apart: a single empty member joins to the empty text.
    if (!(plain.size() == 1 && plain.front().empty())) {
        const std::string joined = JoinSemicolonList(plain);
        NORVIK_FUZZ_CHECK(ReadSemicolonList(joined) == plain);
    }
    NORVIK_FUZZ_CHECK(JoinSemicolonList({}).empty());
    return 0;
}
