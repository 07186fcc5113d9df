#include "job/ByteDelta.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

namespace norvik::job {

namespace {

/// Bytes that must agree for the texts to be taken as in step again after a difference: fewer would
/// find steps in repeated words that are not the place the run left alone.
constexpr std::size_t kAnchor = 16;
/// The spans looked at for that place, each after the one before found none: an edit is short.
constexpr std::array<std::size_t, 4> kSearchSpans{64, 512, 4096, 32768};

void PutNumber(std::string& out, std::uint64_t value) {
    while (value >= 0x80) {
        out.push_back(static_cast<char>((value & 0x7F) | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<char>(value));
}

bool GetNumber(std::string_view& in, std::uint64_t& value) {
    value = 0;
    for (unsigned shift = 0; shift < 64; shift += 7) {
        if (in.empty()) {
            return false;
        }
        const auto byte = static_cast<unsigned char>(in.front());
        in.remove_prefix(1);
        value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0) {
            return shift < 63 || byte <= 1;
        }
    }
    return false;
}

std::uint64_t Load8(const char* p) noexcept {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

/// How many bytes from `a` and `b` agree, at most `limit`.
std::size_t CommonLength(const char* a, const char* b, std::size_t limit) noexcept {
    std::size_t n = 0;
    while (n + 8 <= limit) {
        const std::uint64_t diff = Load8(a + n) ^ Load8(b + n);
        if (diff != 0) {
            if constexpr (std::endian::native == std::endian::little) {
                return n + static_cast<std::size_t>(std::countr_zero(diff)) / 8;
            }
            break; // the bytes below find the place
        }
        n += 8;
    }
    while (n < limit && a[n] == b[n]) {
        ++n;
    }
    return n;
}

std::size_t HashOf(const char* p, unsigned bits) noexcept {
    return static_cast<std::size_t>((Load8(p) * 0x9E3779B97F4A7C15ULL) >> (64 - bits));
}

struct Step {
    std::size_t skipBefore = 0; ///< bytes of the old text that differ (kept as they are)
    std::size_t skipAfter = 0;  ///< bytes of the new text with no place in the old
};

/// After a difference at `before[i]` / `after[j]`: the nearest place where both go on alike for
/// kAnchor bytes, or nothing within the largest span.
/// `work` counts the places looked at, so that texts unlike each other cost a bounded search.
std::optional<Step> FindStep(std::string_view before, std::size_t i, std::string_view after, std::size_t j,
                             std::vector<std::uint32_t>& table, std::size_t& work) {
    if (before.size() - i < kAnchor || after.size() - j < kAnchor) {
        return std::nullopt;
    }
    const std::size_t oldPlaces = before.size() - i - kAnchor + 1;
    const std::size_t newPlaces = after.size() - j - kAnchor + 1;
    constexpr std::uint32_t kNone = UINT32_MAX;
    for (const std::size_t span : kSearchSpans) {
        const std::size_t olds = std::min(span, oldPlaces);
        const std::size_t news = std::min(span, newPlaces);
        unsigned bits = 6;
        while ((std::size_t{1} << bits) < 2 * news) {
            ++bits;
        }
        table.assign(std::size_t{1} << bits, kNone);
        work += table.size() + news + olds;
        // Nearest places win: filled from the far end, so a nearer one overwrites.
        for (std::size_t b = news; b-- > 0;) {
            table[HashOf(after.data() + j + b, bits)] = static_cast<std::uint32_t>(b);
        }
        for (std::size_t a = 0; a < olds; ++a) {
            const char* p = before.data() + i + a;
            const std::uint32_t b = table[HashOf(p, bits)];
            if (b != kNone && std::memcmp(p, after.data() + j + b, kAnchor) == 0) {
                return Step{a, b};
            }
        }
        if (olds == oldPlaces && news == newPlaces) {
            break; // a wider span would look at nothing more
        }
    }
    return std::nullopt;
}

} // namespace

std::string MakeByteDelta(std::string_view before, std::string_view after) {
    std::string script;
    std::vector<std::uint32_t> table;
    std::size_t work = 0;
    const std::size_t workLimit = 4 * before.size() + (std::size_t{1} << 20);
    std::size_t i = 0, j = 0;
    std::size_t added = 0; // the old bytes from here to `i` go in as they are
    const auto add = [&] {
        if (i > added) {
            script.push_back('A');
            PutNumber(script, i - added);
            script.append(before.substr(added, i - added));
        }
    };
    // Texts beyond 4 GiB go in whole: the table holds 32-bit places.
    const bool steps = after.size() < UINT32_MAX;
    while (steps && i < before.size()) {
        const std::size_t same =
            CommonLength(before.data() + i, after.data() + j, std::min(before.size() - i, after.size() - j));
        if (same >= kAnchor || (same > 0 && i + same == before.size())) {
            add();
            script.push_back('C');
            PutNumber(script, j);
            PutNumber(script, same);
            i += same;
            j += same;
            added = i;
            continue;
        }
        const std::optional<Step> step = work < workLimit ? FindStep(before, i, after, j, table, work) : std::nullopt;
        if (!step) {
            break; // the rest goes in as it is
        }
        i += step->skipBefore;
        j += step->skipAfter;
    }
    i = before.size();
    add();
    return script;
}

std::optional<std::string> ApplyByteDelta(std::string_view script, std::string_view after, std::size_t size) {
    std::string out;
    out.reserve(size);
    while (!script.empty()) {
        const char tag = script.front();
        script.remove_prefix(1);
        std::uint64_t length = 0;
        if (tag == 'C') {
            std::uint64_t offset = 0;
            if (!GetNumber(script, offset) || !GetNumber(script, length) || offset > after.size() ||
                length > after.size() - offset || length > size - out.size()) {
                return std::nullopt;
            }
            out.append(after.substr(offset, length));
        } else if (tag == 'A') {
            if (!GetNumber(script, length) || length > script.size() || length > size - out.size()) {
                return std::nullopt;
            }
            out.append(script.substr(0, length));
            script.remove_prefix(length);
        } else {
            return std::nullopt;
        }
    }
    if (out.size() != size) {
        return std::nullopt;
    }
    return out;
}

} // namespace norvik::job
