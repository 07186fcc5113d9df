// The way back from a file's new bytes to its old ones: any pair of texts makes a script that gives
// the old text back exactly, and no script, however damaged, crashes or reaches outside the text.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "job/ByteDelta.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace norvik::job;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (input.empty()) {
        return 0;
    }
    // First byte: where the input splits into the old text and the new text's edits.
    const std::size_t split = 1 + (static_cast<unsigned char>(input[0]) * (input.size() - 1)) / 256;
    const std::string_view before = input.substr(1, split - 1);
    const std::string_view tail = input.substr(split);

    // The new text: the old one with the tail's bytes as edits (a place, a length to drop, bytes to
    // put in), as a run's replacements leave it; then the tail itself, as an unrelated text.
    std::string after(before);
    for (std::size_t at = 0; at + 3 <= tail.size();) {
        const std::size_t place = after.empty() ? 0 : static_cast<unsigned char>(tail[at]) * after.size() / 256;
        const std::size_t drop = static_cast<unsigned char>(tail[at + 1]) % 8;
        const std::size_t put = static_cast<unsigned char>(tail[at + 2]) % 8;
        at += 3;
        const std::string_view inserted = tail.substr(at, std::min(put, tail.size() - at));
        at += inserted.size();
        after.replace(place, std::min(drop, after.size() - place), inserted);
    }
    for (const std::string_view newer : {std::string_view(after), tail, std::string_view()}) {
        const std::string script = MakeByteDelta(before, newer);
        const auto back = ApplyByteDelta(script, newer, before.size());
        NORVIK_FUZZ_CHECK(back.has_value() && *back == before);
    }

    // The input as a script, applied to the old text: it may fail, never overrun.
    for (const std::size_t want : {before.size(), std::size_t{0}, std::size_t{1} << 16}) {
        const auto made = ApplyByteDelta(tail, before, want);
        NORVIK_FUZZ_CHECK(!made || made->size() == want);
    }
    return 0;
}
