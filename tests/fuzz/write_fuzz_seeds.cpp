// Writes the seed corpora of the fuzz targets: write_fuzz_seeds FOLDER
#include <cstdio>
#include <exception>

#include "fuzz_project.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: write_fuzz_seeds FOLDER\n");
        return 2;
    }
    try {
        ks_fuzz::writeSeeds(argv[1]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "write_fuzz_seeds: %s\n", error.what());
        return 1;
    }
    return 0;
}
