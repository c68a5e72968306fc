// make-sample-project: writes a synthetic project of a small site (a building on level ground)
// seen from four scan positions, ready to convert:
//
//   make-sample-project sample --points 2000000
//   noxconvert convert sample/site.rsp -o site.nox
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <string>

#include "ks_sampledata/sample_project.h"
#include "ks_tools/arguments.h"
#include "ks_tools/console.h"
#include "ks_tools/utf8_path.h"

namespace {

void printSummary(const ks_sampledata::SampleProject& project) {
    std::printf("%s: %zu scan positions\n", ks_tools::utf8FromPath(project.projectFile).c_str(),
                project.scans.size());
    for (const ks_sampledata::SampleScan& scan : project.scans) {
        std::printf("  %s  %-18s %10llu points", scan.position.c_str(), scan.file.c_str(),
                    static_cast<unsigned long long>(scan.points));
        if (scan.grid)
            std::printf("  grid %u x %u, %llu without return", scan.rows, scan.columns,
                        static_cast<unsigned long long>(scan.nullPoints));
        std::printf("  (database layout %u.%u)\n", scan.rdbFormatVersion, scan.rdbRecordVariant);
    }
    std::printf("total %llu points\n", static_cast<unsigned long long>(project.points()));
}

}  // namespace

int main(int argc, char** argv) {
    const ks_tools::Utf8Arguments arguments(argc, argv);
    const ks_tools::Utf8Console console;
    CLI::App app{
        "Writes a synthetic scan project of a small site: a building on level ground seen from "
        "four scan positions. DIR receives site.rsp (positions, registration matrices, project "
        "POP), SCANS/<position>/SINGLESCANS/ with three point streams (.rxp) and one grid scan "
        "(.3dd), and project.rdb/ with the database files of every scan in several record "
        "layouts. Earlier sample files in DIR are overwritten."};
    std::string folder;
    ks_sampledata::SampleProjectSettings settings;
    bool quiet = false;
    app.add_option("DIR", folder, "folder to write the project into (created when missing)")
        ->required();
    app.add_option("-n,--points", settings.points,
                   "about this many points in all, shared by the four scans")
        ->capture_default_str()
        ->check(CLI::Range(ks_sampledata::kMinimumSamplePoints, uint64_t{1} << 34));
    app.add_flag("-q,--quiet", quiet, "print nothing but errors");
    CLI11_PARSE(app, arguments.count(), arguments.values());

    try {
        const ks_sampledata::SampleProject project =
            ks_sampledata::writeSampleProject(ks_tools::pathFromUtf8(folder), settings);
        if (!quiet) printSummary(project);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make-sample-project: %s\n", error.what());
        return 1;
    }
    return 0;
}
