#pragma once
// Whole-file readers and writers of each encoding, for the codec tests and the codec fuzz target: the
// byte-level codec with a file read or an atomic write around it. Header-only, so that the fuzz target
// (which links no test support) can use it too.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "filedeal/CodePage.h"
#include "filedeal/FileOps.h"
#include "filedeal/TextCodec.h"

namespace norvik::test {

/// Readers: the working text of the file's bytes. Each throws FileOpenError when the file cannot be
/// opened or read.
[[nodiscard]] inline std::string ReadAnsiText(const std::filesystem::path& path) {
    return filedeal::DecodeAnsi(filedeal::ReadFileBytes(path));
}
[[nodiscard]] inline std::string ReadUtf16Text(const std::filesystem::path& path) {
    return filedeal::DecodeUtf16(filedeal::ReadFileBytes(path));
}
[[nodiscard]] inline std::string ReadUtf8Text(const std::filesystem::path& path, bool withMark) {
    return filedeal::DecodeUtf8(filedeal::ReadFileBytes(path), withMark);
}

/// Writers: replace the whole file atomically (see WriteFileAtomic); false on any failure, including
/// an existing read-only target. Never throw. Unicode ones write in the Unicode set, so what the
/// readers give is written back whole.
[[nodiscard]] inline bool WriteAnsiText(std::string_view text, const std::filesystem::path& path) noexcept {
    try {
        return filedeal::WriteFileAtomic(path, filedeal::EncodeText(text, filedeal::EncodingKind::Ansi).bytes);
    } catch (...) {
        return false;
    }
}
[[nodiscard]] inline bool WriteUtf16Text(std::string_view text, const std::filesystem::path& path) noexcept {
    try {
        return filedeal::WriteFileAtomic(
            path, filedeal::EncodeText(text, filedeal::EncodingKind::Utf16Le, filedeal::CharacterSet::Unicode).bytes);
    } catch (...) {
        return false;
    }
}
[[nodiscard]] inline bool WriteUtf8Text(std::string_view text, const std::filesystem::path& path,
                                        bool withMark) noexcept {
    try {
        const auto kind = withMark ? filedeal::EncodingKind::Utf8Bom : filedeal::EncodingKind::Utf8;
        return filedeal::WriteFileAtomic(path, filedeal::EncodeText(text, kind, filedeal::CharacterSet::Unicode).bytes);
    } catch (...) {
        return false;
    }
}

/// What every reader and writer of the codec makes of `bytes` (taken as a file of each kind and as a
/// working text), exactness flags included: the same at every kernel level.
[[nodiscard]] inline std::vector<std::string> EveryConversionOf(std::string_view bytes) {
    using namespace filedeal;
    std::vector<std::string> results;
    const auto flag = [&results](bool value) {
        results.emplace_back(value ? "1" : "0");
    };
    for (const EncodingKind kind :
         {EncodingKind::Ansi, EncodingKind::Utf8, EncodingKind::Utf8Bom, EncodingKind::Utf16Le}) {
        TextFacts facts;
        results.push_back(DecodeText(bytes, kind, &facts));
        flag(facts.decodes);
        flag(facts.exact);
        flag(facts.beyondCodePage);
        for (const CharacterSet set : {CharacterSet::CodePage, CharacterSet::Unicode}) {
            const EncodedText encoded = EncodeText(bytes, kind, set);
            results.push_back(encoded.bytes);
            flag(encoded.exact);
        }
    }
    bool exact = false;
    results.push_back(Utf16LeToCodePage(bytes, &exact));
    flag(exact);
    results.push_back(Utf8ToCodePage(bytes, &exact));
    flag(exact);
    results.push_back(DecodeAnsiBuffer(std::string(bytes)));
    return results;
}

} // namespace norvik::test
