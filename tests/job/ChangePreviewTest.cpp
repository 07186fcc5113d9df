// What a preview shows: unified diffs that turn the old text into the new one, and one file's change
// read in its own encoding.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "job/ChangePreview.h"
#include "job/TextDiff.h"

using namespace norvik;

namespace {

/// An independent reading of a unified diff: applies its hunks to `before`, checking every kept and
/// removed line against it. Empty optional-like flag through `ok`.
std::string ApplyUnifiedDiff(const std::string& before, const std::string& diff, bool& ok) {
    ok = true;
    const std::vector<std::string_view> old = job::SplitLines(before);
    std::vector<std::string> diffLines;
    {
        std::size_t start = 0;
        while (start < diff.size()) {
            const std::size_t end = diff.find('\n', start);
            diffLines.push_back(diff.substr(start, end - start + 1));
            start = end + 1;
        }
    }
    std::string out;
    std::size_t next = 0;     // next old line to copy
    bool lastWentOut = false; // the diff line before went into the new text
    for (std::size_t i = 2; i < diffLines.size(); ++i) {
        const std::string& line = diffLines[i];
        if (line.rfind("@@ -", 0) == 0) {
            std::size_t oldStart = std::stoul(line.substr(4));
            const std::size_t comma = line.find(',', 4);
            const std::size_t space = line.find(' ', 4);
            const std::size_t oldCount = comma < space ? std::stoul(line.substr(comma + 1)) : 1;
            if (oldCount > 0) {
                --oldStart;
            }
            while (next < oldStart && next < old.size()) {
                out.append(old[next++]);
            }
            continue;
        }
        if (line.rfind("\\ No newline", 0) == 0) {
            if (lastWentOut) {
                out.pop_back(); // the line before had no line end: drop the one the diff added
            }
            continue;
        }
        lastWentOut = line[0] != '-';
        std::string body = line.substr(1);
        const bool noEnd = i + 1 < diffLines.size() && diffLines[i + 1].rfind("\\ No newline", 0) == 0;
        if (line[0] == ' ' || line[0] == '-') {
            const std::string expected = std::string(old.at(next)) + (noEnd ? "\n" : "");
            ok = ok && expected == body;
            ++next;
            if (line[0] == ' ') {
                out.append(body);
            }
        } else if (line[0] == '+') {
            out.append(body);
        } else {
            ok = false;
        }
    }
    while (next < old.size()) {
        out.append(old[next++]);
    }
    return out;
}

std::string RandomText(std::mt19937& rng, int lines) {
    static const std::vector<std::string> words{"a", "b", "中文", "x y", "", "\t"};
    static const std::vector<std::string> ends{"\r\n", "\n", "\r\n", "\n"};
    std::string text;
    for (int i = 0; i < lines; ++i) {
        text += words[rng() % words.size()];
        if (rng() % 3 == 0) {
            text += words[rng() % words.size()];
        }
        if (i + 1 < lines || rng() % 2 == 0) {
            text += ends[rng() % ends.size()];
        }
    }
    return text;
}

std::string Mutate(std::mt19937& rng, const std::string& text) {
    std::vector<std::string_view> lines = job::SplitLines(text);
    std::vector<std::string> out(lines.begin(), lines.end());
    const int edits = static_cast<int>(rng() % 6);
    for (int e = 0; e < edits; ++e) {
        const std::size_t at = out.empty() ? 0 : rng() % (out.size() + 1);
        switch (rng() % 3) {
        case 0:
            out.insert(out.begin() + static_cast<long>(at), "new line\n");
            break;
        case 1:
            if (at < out.size()) {
                out.erase(out.begin() + static_cast<long>(at));
            }
            break;
        default:
            if (at < out.size()) {
                out[at].insert(0, "替");
            }
        }
    }
    std::string joined;
    for (const std::string& line : out) {
        joined += line;
    }
    return joined;
}

} // namespace

TEST(TextDiff, UnifiedDiffsTurnTheOldTextIntoTheNewOnRandomTexts) {
    std::mt19937 rng(20261208);
    for (int round = 0; round < 3000; ++round) {
        const std::string before = RandomText(rng, static_cast<int>(rng() % 40));
        const std::string after = rng() % 10 == 0 ? RandomText(rng, static_cast<int>(rng() % 40)) : Mutate(rng, before);
        const std::string diff = job::UnifiedDiff("f.txt", before, after);
        if (before == after) {
            EXPECT_TRUE(diff.empty());
            continue;
        }
        ASSERT_EQ(diff.rfind("--- f.txt\n+++ f.txt\n@@ -", 0), 0U) << diff;
        bool ok = false;
        EXPECT_EQ(ApplyUnifiedDiff(before, diff, ok), after) << diff;
        EXPECT_TRUE(ok) << diff;
        // Never more than three kept lines at either end of a hunk.
        for (const job::DiffHunk& hunk : job::DiffTexts(before, after)) {
            std::size_t lead = 0;
            while (lead < hunk.lines.size() && hunk.lines[lead].kind == job::DiffLine::Kind::Same) {
                ++lead;
            }
            EXPECT_LE(lead, 3U);
        }
        // Asked for a few lines, the hunks are the first lines of the whole change, counts whole.
        const std::vector<job::DiffHunk> all = job::DiffTexts(before, after);
        const std::size_t limit = rng() % 8 + 1;
        const std::vector<job::DiffHunk> first = job::TextDiff(before, after).hunks(3, limit);
        std::size_t seen = 0;
        for (std::size_t h = 0; h < first.size(); ++h) {
            EXPECT_EQ(first[h].oldCount, all.at(h).oldCount);
            for (std::size_t k = 0; k < first[h].lines.size(); ++k, ++seen) {
                EXPECT_EQ(first[h].lines[k].text, all[h].lines.at(k).text);
            }
        }
        EXPECT_EQ(seen, std::min<std::size_t>(limit, [&all] {
                      std::size_t lines = 0;
                      for (const job::DiffHunk& hunk : all) {
                          lines += hunk.lines.size();
                      }
                      return lines;
                  }()));
    }
}

TEST(TextDiff, ChangedPartOfALineStaysOnCharacterBoundaries) {
    const std::vector<job::DiffHunk> hunks = job::DiffTexts("x\r\n中文ab\r\ny\r\n", "x\r\n中字ab\r\ny\r\n");
    ASSERT_EQ(hunks.size(), 1U);
    ASSERT_EQ(hunks[0].lines.size(), 4U);
    const job::DiffLine& removed = hunks[0].lines[1];
    const job::DiffLine& added = hunks[0].lines[2];
    EXPECT_EQ(removed.text.substr(removed.changedBegin, removed.changedEnd - removed.changedBegin), "文");
    EXPECT_EQ(added.text.substr(added.changedBegin, added.changedEnd - added.changedBegin), "字");
    EXPECT_EQ(hunks[0].oldStart, 1U);
    EXPECT_EQ(hunks[0].oldCount, 3U);
}

TEST(TextDiff, TextsThatDifferEverywhereStillGiveAnExactDiff) {
    std::string before;
    std::string after;
    for (int i = 0; i < 6000; ++i) {
        before += "old " + std::to_string(i) + "\n";
        after += (i % 7 == 0 ? "new " : "old ") + std::to_string(i) + "\n";
        if (i % 500 == 0) {
            after += "inserted\n";
        }
    }
    bool ok = false;
    EXPECT_EQ(ApplyUnifiedDiff(before, job::UnifiedDiff("p", before, after), ok), after);
    EXPECT_TRUE(ok);
}

TEST(TextDiff, UnusualNamesAreQuotedSoNoneCanForgeAHeader) {
    EXPECT_EQ(job::DiffPathName("dir/a-b_c.txt"), "dir/a-b_c.txt");
    EXPECT_EQ(job::DiffPathName("中文.txt"), "中文.txt"); // UTF-8 stays as it is
    EXPECT_EQ(job::DiffPathName("a b.txt"), "\"a b.txt\"");
    EXPECT_EQ(job::DiffPathName("t\tx\n+++ victim.txt"), "\"t\\tx\\n+++ victim.txt\"");
    EXPECT_EQ(job::DiffPathName("q\"\\\r\x7F\x01"), "\"q\\\"\\\\\\r\\177\\001\"");
    // GBK 中文, a lone continuation byte, an overlong form and a surrogate are no UTF-8.
    EXPECT_EQ(job::DiffPathName("\xD6\xD0\xCE\xC4"), "\"\\326\\320\\316\\304\"");
    EXPECT_EQ(job::DiffPathName("\x80\xC0\xAF\xED\xA0\x80"), "\"\\200\\300\\257\\355\\240\\200\"");
    EXPECT_EQ(job::UnifiedDiff("a b", "x\n", "y\n"), "--- \"a b\"\n+++ \"a b\"\n@@ -1 +1 @@\n-x\n+y\n");
}

TEST(ChangePreview, EachEncodingShowsItsBytesAsUtf8WithCountsAndRoundTrip) {
    norvik::test::TempDir dir;
    const auto write = [&dir](const std::string& name, std::string_view bytes) {
        norvik::test::WriteBytes(dir / name, bytes);
        return (dir / name).string();
    };
    job::RuleLists lists;
    // 文 -> 字 (GBK CEC4 -> D7D6), and "ab" -> "c"; lines that never apply count nothing.
    lists.normal = {"CEC4;D7D6", "6G;78", "", "6162;63", "62"};
    const std::string gbk = write("gbk.txt", std::string("\xD6\xD0\xCE\xC4 ab\nab\n", 11));
    const std::string utf16 = write("u16.txt", std::string("\xFF\xFE\x87\x65\x20\x00\x61\x00\x62\x00\r\x00\n\x00", 14));
    const std::string utf8 = write("u8.txt", "\xEF\xBB\xBF"
                                             "ab 文\r\nzz\r\n");

    const job::FileChange a =
        job::PreviewFileChange(gbk, job::ParseRuleLists(lists), settings::ReplaceMode::Normal, true);
    EXPECT_TRUE(a.readable && a.changed && a.representable);
    EXPECT_EQ(a.replacements, 3U);
    EXPECT_EQ(a.before, "中文 ab\nab\n");
    EXPECT_EQ(a.after, "中字 c\r\nc\r\n"); // what the run writes: every line of a code-page file ends CR LF

    const job::FileChange b =
        job::PreviewFileChange(utf16, job::ParseRuleLists(lists), settings::ReplaceMode::Normal, true);
    EXPECT_EQ(b.kind, filedeal::EncodingKind::Utf16Le);
    EXPECT_EQ(b.before, "\xEF\xBB\xBF"
                        "文 ab\r\n");
    EXPECT_EQ(b.after, "\xEF\xBB\xBF"
                       "字 c\r\n");
    EXPECT_EQ(b.replacements, 2U);

    const job::FileChange c =
        job::PreviewFileChange(utf8, job::ParseRuleLists(lists), settings::ReplaceMode::Normal, true);
    EXPECT_EQ(c.after, "\xEF\xBB\xBF"
                       "c 字\r\nzz\r\n");

    const job::FileChange missing = job::PreviewFileChange((dir / "none.txt").string(), job::ParseRuleLists(lists),
                                                           settings::ReplaceMode::Normal, true);
    EXPECT_FALSE(missing.readable);

    // Characters beyond the code page show as themselves before and after; a rule of half a
    // character cannot edit such a file; UTF-8 that does not decode tells only that.
    const std::string emoji = write("emoji.txt", "ab \xF0\x9F\x98\x80\xED\x95\x9C\n");
    const job::FileChange f =
        job::PreviewFileChange(emoji, job::ParseRuleLists(lists), settings::ReplaceMode::Normal, true);
    EXPECT_TRUE(f.changed && f.representable && f.wholeCharacterRules);
    EXPECT_EQ(f.before, "ab 😀한\n");
    EXPECT_EQ(f.after, "c 😀한\n");
    job::RuleLists half;
    half.normal = {"6162;B0"};
    const job::FileChange g =
        job::PreviewFileChange(emoji, job::ParseRuleLists(half), settings::ReplaceMode::Normal, false);
    EXPECT_TRUE(g.changed && !g.representable && !g.wholeCharacterRules);
    const std::string stray = write("stray.txt", "\xEF\xBB\xBF"
                                                 "ab\x80");
    const job::FileChange h =
        job::PreviewFileChange(stray, job::ParseRuleLists(lists), settings::ReplaceMode::Normal, true);
    EXPECT_TRUE(h.readable && !h.decodes && !h.changed);

    // Spans: counted per rule, the whole span replaced.
    lists.feature = {"3C;3E;2A", "3C;;2A", "3C3E"}; // <...> -> *, then two lines that never apply
    const std::string spans = write("spans.txt", "a<b>c<d>\r\n");
    const job::FileChange e =
        job::PreviewFileChange(spans, job::ParseRuleLists(lists), settings::ReplaceMode::Feature, true);
    EXPECT_EQ(e.replacements, 2U);
    EXPECT_EQ(e.after, "a*c*\r\n");
}
