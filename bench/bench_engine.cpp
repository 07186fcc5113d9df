// Throughput of the text engine on 16 MiB of mixed text (about 70% ASCII, the rest Chinese).
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "filedeal/CodePage.h"
#include "filedeal/Replace.h"
#include "filedeal/ReplacePrefilter.h"
#include "filedeal/TextCodec.h"
#include "rules/RuleApply.h"
#include "rules/RuleLine.h"

using namespace norvik::filedeal;

namespace {

constexpr std::size_t kSize = 16u << 20;

// GBK text: words of ASCII letters and runs of common Chinese characters, lines of ~80 bytes, and a
// rare token every 1 MiB.
const std::string& MixedGbk() {
    static const std::string text = [] {
        std::mt19937 rng(7);
        std::string t;
        t.reserve(kSize + 256);
        std::size_t nextToken = 1u << 20;
        std::size_t lineLength = 0;
        while (t.size() < kSize) {
            if (rng() % 100 < 70) {
                const char* words[] = {"the ", "quick ", "brown ", "fox ", "jumps ", "over ", "lazy ", "dog "};
                const std::string w = words[rng() % 8];
                t += w;
                lineLength += w.size();
            } else {
                for (int k = 0; k < 3; ++k) {
                    t.push_back(static_cast<char>(0xB0 + rng() % 0x28));
                    t.push_back(static_cast<char>(0xA1 + rng() % 0x5E));
                }
                lineLength += 6;
            }
            if (lineLength > 80) {
                t += "\r\n";
                lineLength = 0;
            }
            if (t.size() > nextToken) {
                t += "needle ";
                nextToken += 1u << 20;
            }
        }
        return t;
    }();
    return text;
}

const std::string& MixedUtf8() {
    static const std::string bytes = EncodeText(MixedGbk(), EncodingKind::Utf8).bytes;
    return bytes;
}

const std::string& MixedUtf16() {
    static const std::string bytes = EncodeText(MixedGbk(), EncodingKind::Utf16Le).bytes;
    return bytes;
}

void SetBytes(benchmark::State& state, std::size_t perIteration) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * perIteration));
}

void BM_ReplaceAll_Rare(benchmark::State& state) {
    std::string text = MixedGbk();
    for (auto _ : state) {
        ReplaceAll(text, "needle", "needle", false);
        benchmark::DoNotOptimize(text.data());
    }
    SetBytes(state, text.size());
}

void BM_ReplaceAll_Dense(benchmark::State& state) {
    std::string text = MixedGbk();
    for (auto _ : state) {
        ReplaceAll(text, "the", "the", false);
        benchmark::DoNotOptimize(text.data());
    }
    SetBytes(state, text.size());
}

void BM_ReplaceAll_IgnoreCase(benchmark::State& state) {
    std::string text = MixedGbk();
    for (auto _ : state) {
        ReplaceAll(text, "NEEDLE", "needle", true);
        benchmark::DoNotOptimize(text.data());
    }
    SetBytes(state, text.size());
}

void BM_ReplaceAll_LeadByteRun(benchmark::State& state) {
    std::string text;
    text.reserve(kSize);
    while (text.size() < kSize) {
        text += "\xB0\xA1";
    }
    for (auto _ : state) {
        ReplaceAll(text, "\xB0\xA1", "\xB0\xA1", false);
        benchmark::DoNotOptimize(text.data());
    }
    SetBytes(state, text.size());
}

void BM_IsUtf8Text(benchmark::State& state) {
    const std::string& bytes = MixedUtf8();
    for (auto _ : state) {
        benchmark::DoNotOptimize(IsUtf8Text(bytes));
    }
    SetBytes(state, bytes.size());
}

void BM_ReadUtf8(benchmark::State& state) {
    const std::string& bytes = MixedUtf8();
    for (auto _ : state) {
        std::string text = DecodeUtf8(bytes, false);
        benchmark::DoNotOptimize(text.data());
    }
    SetBytes(state, bytes.size());
}

void BM_WriteUtf8(benchmark::State& state) {
    const std::string& text = MixedGbk();
    for (auto _ : state) {
        std::string bytes = EncodeText(text, EncodingKind::Utf8).bytes;
        benchmark::DoNotOptimize(bytes.data());
    }
    SetBytes(state, text.size());
}

void BM_ReadUtf16(benchmark::State& state) {
    const std::string& bytes = MixedUtf16();
    for (auto _ : state) {
        std::string text = DecodeUtf16(bytes);
        benchmark::DoNotOptimize(text.data());
    }
    SetBytes(state, bytes.size());
}

void BM_WriteUtf16(benchmark::State& state) {
    const std::string& text = MixedGbk();
    for (auto _ : state) {
        std::string bytes = EncodeText(text, EncodingKind::Utf16Le).bytes;
        benchmark::DoNotOptimize(bytes.data());
    }
    SetBytes(state, text.size());
}

void BM_ReadAnsi(benchmark::State& state) {
    const std::string& bytes = MixedGbk();
    for (auto _ : state) {
        std::string text = DecodeAnsi(bytes);
        benchmark::DoNotOptimize(text.data());
    }
    SetBytes(state, bytes.size());
}

// About 1.8 MB of markup with `spans` comment spans, two kinds of comment text repeated.
std::string Commented(std::size_t spans) {
    std::string t;
    t.reserve(spans * 31);
    for (std::size_t i = 0; i < spans; ++i) {
        t += "<td>";
        t += std::to_string(i % 9973);
        t += "</td><!--c";
        t += std::to_string(i % 50);
        t += "--> \xB0\xA1\r\n";
    }
    return t;
}

// Span replacement against a plain replacement of the same file with as many matches.
void BM_Spans_60000(benchmark::State& state) {
    const std::string source = Commented(60000);
    for (auto _ : state) {
        std::string text = source;
        ReplaceSpanRule(text, "<!--", "-->", "", [] {});
        benchmark::DoNotOptimize(text.data());
    }
    SetBytes(state, source.size());
}

void BM_Spans_60000_PlainReplace(benchmark::State& state) {
    const std::string source = Commented(60000);
    for (auto _ : state) {
        std::string text = source;
        ReplaceAll(text, "<!--", "", false);
        benchmark::DoNotOptimize(text.data());
    }
    SetBytes(state, source.size());
}

// The span-by-span way on a tenth of the spans (its time grows with spans times text).
void BM_Spans_6000_SpanBySpan(benchmark::State& state) {
    const std::string source = Commented(6000);
    for (auto _ : state) {
        std::string text = source;
        std::vector<std::string> spans;
        CollectSpans(text, "<!--", "-->", spans);
        ReplaceSpans(text, spans, "");
        benchmark::DoNotOptimize(text.data());
    }
    SetBytes(state, source.size());
}

void BM_Spans_6000(benchmark::State& state) {
    const std::string source = Commented(6000);
    for (auto _ : state) {
        std::string text = source;
        ReplaceSpanRule(text, "<!--", "-->", "", [] {});
        benchmark::DoNotOptimize(text.data());
    }
    SetBytes(state, source.size());
}

// Judging a file from its bytes: a token it lacks, looked for as a search does (the text and its
// part after the first byte), in UTF-8 and UTF-16.
void BM_Prefilter_Utf8(benchmark::State& state) {
    const std::string& bytes = MixedUtf8();
    const RawTextFilter filter({"NvkToken42"}, RawTextFilter::Place::Anywhere, false);
    for (auto _ : state) {
        benchmark::DoNotOptimize(filter.judge(bytes, EncodingKind::Utf8));
    }
    SetBytes(state, bytes.size());
}

void BM_Prefilter_Utf16(benchmark::State& state) {
    const std::string& bytes = MixedUtf16();
    const RawTextFilter filter({"NvkToken42"}, RawTextFilter::Place::Anywhere, false);
    for (auto _ : state) {
        benchmark::DoNotOptimize(filter.judge(bytes, EncodingKind::Utf16Le));
    }
    SetBytes(state, bytes.size());
}

// Baseline in the same process: a plain copy of the same bytes.
void BM_Baseline_Copy(benchmark::State& state) {
    const std::string& bytes = MixedGbk();
    for (auto _ : state) {
        std::string copy = bytes;
        benchmark::DoNotOptimize(copy.data());
    }
    SetBytes(state, bytes.size());
}

} // namespace

namespace {

// Many small files (2,000 of 1 KiB) under a list of 20 normal rules, one of which finds something in
// every file. The baseline decodes the rule lines for each file, as a run once did; a run now
// decodes them once.
const std::vector<std::string>& SmallFiles() {
    static const std::vector<std::string> files = [] {
        std::vector<std::string> f;
        for (std::size_t at = 0; f.size() < 2000; at += 1024) {
            f.push_back(MixedGbk().substr(at, 1024));
        }
        return f;
    }();
    return files;
}

norvik::rules::RuleList TwentyRules() {
    norvik::rules::RuleList list;
    for (int i = 0; i < 19; ++i) {
        list.push_back(norvik::rules::MakeNormalRuleLine({"absent" + std::to_string(i), "x"}));
    }
    list.push_back(norvik::rules::MakeNormalRuleLine({"fox", "cat"}));
    return list;
}

void BM_RuleList_DecodedPerFile(benchmark::State& state) {
    const norvik::rules::RuleList list = TwentyRules();
    std::string out;
    for (auto _ : state) {
        for (const std::string& text : SmallFiles()) {
            benchmark::DoNotOptimize(
                norvik::rules::ApplyNormalRules(text, out, norvik::rules::ParseNormalRules(list), false));
        }
    }
}

void BM_RuleList_DecodedOnce(benchmark::State& state) {
    const std::vector<norvik::rules::NormalRule> rules = norvik::rules::ParseNormalRules(TwentyRules());
    std::string out;
    for (auto _ : state) {
        for (const std::string& text : SmallFiles()) {
            benchmark::DoNotOptimize(norvik::rules::ApplyNormalRules(text, out, rules, false));
        }
    }
}

} // namespace

BENCHMARK(BM_RuleList_DecodedPerFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RuleList_DecodedOnce)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline_Copy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplaceAll_Rare)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplaceAll_Dense)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplaceAll_IgnoreCase)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplaceAll_LeadByteRun)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IsUtf8Text)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadUtf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteUtf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadUtf16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteUtf16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAnsi)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Prefilter_Utf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Prefilter_Utf16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Spans_60000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Spans_60000_PlainReplace)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Spans_6000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Spans_6000_SpanBySpan)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
