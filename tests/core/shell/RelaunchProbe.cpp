// Appends "<generation> <pid>" to the file named by its first argument and,
// in the first generation, relaunches itself with the next generation.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/shell/AppRelauncher.h"

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const int generation = std::stoi(argv[2]);
    std::ofstream(argv[1], std::ios::app) << generation << ' ' << ::getpid() << '\n';
    if (generation >= 2) return 0;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    tessarin::AppRelauncher relauncher(self, {argv[1], std::to_string(generation + 1)});
    const std::string failure = relauncher.execNow();
    std::fprintf(stderr, "%s\n", failure.c_str());
    return 1;
}
