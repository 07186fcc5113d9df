// The first-start step of the window program without its window, for the fault sweep:
//   nvk_seed EXE_FOLDER SHIPPED_FOLDER
// finds the folders as an installed program would (HOME and XDG variables from the environment),
// makes the user's files and prints each problem on standard error. Exit status 0 when all went well.
#include <cstdio>
#include <string>
#include <vector>

#include "settings/AppFolders.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: nvk_seed EXE_FOLDER SHIPPED_FOLDER\n");
        return 2;
    }
    using namespace norvik::settings;
    const AppFolders folders = LocateAppFolders(argv[1], argv[2], CurrentUserEnvironment());
    const std::vector<std::string> problems = SeedUserFiles(folders);
    for (const std::string& problem : problems) {
        std::fprintf(stderr, "%s\n", problem.c_str());
    }
    return problems.empty() ? 0 : 1;
}
