#pragma once
// What a run would do to one file, shown before it is done: the file's text before and after, both
// as UTF-8, and how many replacements the rules make in it. Nothing is written.
#include <cstddef>
#include <string>

#include "filedeal/TextCodec.h"
#include "job/RuleListBuilder.h"
#include "settings/ReplaceOptions.h"

namespace norvik::job {

struct FileChange {
    bool readable = false; ///< the file could be read
    bool decodes = true;   ///< false: UTF-8 that does not decode (nothing else is told)
    filedeal::EncodingKind kind = filedeal::EncodingKind::Unopenable;
    bool changed = false;      ///< the rules change its text (extraction: they extract something)
    bool representable = true; ///< the new text survives the file's encoding (a Unicode file may not)
    /// False when the file holds characters beyond the code page and a rule is not whole characters
    /// of the code page: it cannot be edited in Unicode (and `representable` is false too).
    bool wholeCharacterRules = true;
    bool binary = false;          ///< a binary file: never rewritten, whatever the rules do
    std::size_t replacements = 0; ///< occurrences or spans replaced (extraction: spans extracted)
    /// The file's bytes and the bytes a run would write, each converted from the file's encoding to
    /// UTF-8 as they stand (line ends and marks kept), so a diff of the two applies to a UTF-8 copy
    /// of the file and gives the UTF-8 form of what the run writes. Extraction: `before` is empty
    /// and `after` is the extraction file's text.
    std::string before;
    std::string after;
};

/// Reads `path` and applies the rules of `mode` the way a run does. A file that cannot be read
/// gives `readable` false and nothing else.
[[nodiscard]] FileChange PreviewFileChange(const std::string& path, const ParsedRuleLists& lists,
                                           settings::ReplaceMode mode, bool ignoreCase);

/// Bytes of a file in `kind` as UTF-8: the code page converted (a byte it cannot map shows as
/// U+FFFD), UTF-16LE converted (surrogate pairs as their characters, an unpaired surrogate as
/// U+FFFD), UTF-8 as it is (every character, those beyond the code page included).
[[nodiscard]] std::string FileBytesAsUtf8(const std::string& bytes, filedeal::EncodingKind kind);

} // namespace norvik::job
