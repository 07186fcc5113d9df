#pragma once
// The window program's command line: its own options, the toolkit's options and the paths to add to
// the target list. Paths stay the bytes they were given; nothing here decodes them.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace norvik::ui {

/// The command line split before the toolkit sees it.
struct ProgramArguments {
    enum class Request : std::uint8_t { OpenWindow, Help, Version };

    Request request = Request::OpenWindow;
    /// argv[0] and every argument before the first "--", followed by a null pointer as argv is: the
    /// only arguments the toolkit may take its own options (-style, -title, ...) from.
    std::vector<char*> toolkitArguments;
    /// Every argument after the first "--", each a path whatever it looks like ("--" and "-title"
    /// included).
    std::vector<std::string> pathsAfterOptions;
};

/// Splits `argv` at the first "--". Before it, "--help" or "-h" asks for the usage and "--version" for
/// the version (the first one found wins); after it nothing is an option.
[[nodiscard]] ProgramArguments SplitProgramArguments(int argc, char* argv[]);

/// The paths of the command line once the toolkit has taken its options out of the arguments before
/// "--".
struct TargetArguments {
    std::vector<std::string> paths; ///< absolute, in the command line's order
    std::string unknownOption;      ///< the first argument before "--" that looks like an option
};

/// `argc`/`argv` are what the toolkit left of ProgramArguments::toolkitArguments (argv[0] first).
/// Before "--" an argument that starts with '-' (other than "-" alone) is an unknown option; the others
/// and every argument after "--" are paths. A relative path is taken from `startFolder` (left
/// relative when that is empty); empty arguments are no paths.
[[nodiscard]] TargetArguments CollectTargetArguments(int argc, char* const argv[],
                                                     const std::vector<std::string>& pathsAfterOptions,
                                                     std::string_view startFolder);

/// What "norvik --help" prints: the command line's form, the options and where the settings live.
/// `settingsFile`, when not empty, is the settings file this copy of the program uses.
[[nodiscard]] std::string ProgramUsage(std::string_view settingsFile);

/// What "norvik --version" prints.
[[nodiscard]] std::string ProgramVersion();

} // namespace norvik::ui
