#pragma once
// Turning a folder and a file mask into file paths.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace norvik::filedeal {

/// True when `name` matches the mask: '*' any run, '?' one character (a whole UTF-8 sequence, or one
/// byte of a name that is not UTF-8 there), ASCII letters in any case.
/// "*.*" matches every name, with a dot or without. A mask "*.abc" with a three-character extension
/// also matches a longer last extension that begins with it ("*.htm" matches "a.html").
[[nodiscard]] bool MatchesMask(std::string_view name, std::string_view mask) noexcept;

/// Appends folder + '/' + name for every entry of the folder that matches the mask (files and
/// folders alike, sorted by name, never "." or ".."), then, with subfolders, does the same in each
/// subfolder, depth first. Symbolic links to folders are listed when they match but never entered.
/// Never listed: a backup "<name>.bak" with "<name>" beside it (a run must not rewrite the backup of
/// an earlier run), and temporaries of the writer whose file is beside them (see IsTemporaryName).
/// A folder that does not exist or cannot be read adds nothing. `yield` runs after each entry.
/// `unreadable`, when given, receives (ending with '/') every folder met that exists but could not be
/// opened, entered or listed to the end, so that the caller can report the files it could not see; a
/// folder that is missing, or no folder, is not one of them. A folder that can be listed but not
/// entered adds none of its names (its files could not be read).
/// `sweepTemporaries` removes those temporaries, unless a writer still holds one: only a run that
/// writes asks for it, so that reading (a search, a dry run, a listing) never deletes anything.
void ScanFolder(const std::string& folder, bool withSubfolders, std::string_view mask, std::vector<std::string>& result,
                const std::function<void()>& yield = {}, std::vector<std::string>* unreadable = nullptr,
                bool sweepTemporaries = false);

} // namespace norvik::filedeal
