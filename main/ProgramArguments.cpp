#include "main/ProgramArguments.h"

#include <norvik/Version.h>

namespace norvik::ui {

ProgramArguments SplitProgramArguments(int argc, char* argv[]) {
    ProgramArguments arguments;
    int index = 0;
    for (; index < argc; ++index) {
        const std::string_view argument = argv[index];
        if (index > 0 && argument == "--") {
            ++index;
            break;
        }
        if (index > 0 && arguments.request == ProgramArguments::Request::OpenWindow) {
            if (argument == "--help" || argument == "-h") {
                arguments.request = ProgramArguments::Request::Help;
            } else if (argument == "--version") {
                arguments.request = ProgramArguments::Request::Version;
            }
        }
        arguments.toolkitArguments.push_back(argv[index]);
    }
    arguments.toolkitArguments.push_back(nullptr);
    for (; index < argc; ++index) {
        arguments.pathsAfterOptions.emplace_back(argv[index]);
    }
    return arguments;
}

TargetArguments CollectTargetArguments(int argc, char* const argv[], const std::vector<std::string>& pathsAfterOptions,
                                       std::string_view startFolder) {
    TargetArguments result;
    const auto addPath = [&result, startFolder](std::string_view path) {
        if (path.empty()) {
            return;
        }
        if (path.front() == '/' || startFolder.empty()) {
            result.paths.emplace_back(path);
        } else {
            std::string absolute(startFolder);
            if (absolute.back() != '/') {
                absolute += '/';
            }
            result.paths.push_back(absolute.append(path));
        }
    };
    for (int index = 1; index < argc; ++index) {
        const std::string_view argument = argv[index];
        if (argument.size() > 1 && argument.front() == '-') {
            if (result.unknownOption.empty()) {
                result.unknownOption = argument;
            }
            continue;
        }
        addPath(argument);
    }
    for (const std::string& path : pathsAfterOptions) {
        addPath(path);
    }
    return result;
}

std::string ProgramUsage(std::string_view settingsFile) {
    std::string usage = R"(Usage: norvik [OPTION...] [PATH...] [-- PATH...]

Opens the Norvik window and adds each file or folder PATH to the target list, as dropping it on the
window would. A relative PATH is taken from the current folder; every argument after "--" is a PATH,
even one that starts with '-'.

Options:
  -h, --help     print this help and exit
  --version      print the version and exit
  The toolkit's own options (-style NAME, -platform NAME, ...) may come before "--".

Where Norvik keeps your state:
  Portable   when NVK.xml is beside the executable, the settings (NVK.xml), the rule sets
             (MultiReplace/) and the language packs (lang/) are in that folder.
  Installed  otherwise: the settings in $XDG_CONFIG_HOME/norvik/NVK.xml (~/.config/norvik/NVK.xml),
             the rule sets in $XDG_DATA_HOME/norvik/MultiReplace/ (~/.local/share/norvik/MultiReplace/),
             made from the shipped ones at the first start.
  History    every run that writes is recorded so that 历史记录 can undo it: history/ beside NVK.xml
             (portable), or $XDG_STATE_HOME/norvik/history/ (~/.local/state/norvik/history/).
)";
    if (!settingsFile.empty()) {
        usage.append("  This copy  ").append(settingsFile).append("\n");
    }
    usage += "\nThe same job without a window: norvik-cli --help\n";
    return usage;
}

std::string ProgramVersion() {
    return std::string("norvik ") + kVersion + "\n";
}

} // namespace norvik::ui
