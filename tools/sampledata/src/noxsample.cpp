// Writes one synthetic point-stream or grid-scan file.
//
//   noxsample stream out.rxp --points 100000 --frame 2000
//   noxsample grid out.3dd --rows 400 --columns 800 --no-colour

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>

#include "ks_sampledata/grid_scan.h"
#include "ks_sampledata/point_stream.h"
#include "ks_tools/arguments.h"
#include "ks_tools/utf8_path.h"

int main(int argc, char** argv) {
    const ks_tools::Utf8Arguments arguments(argc, argv);
    CLI::App app{"Writes a synthetic point-stream or grid-scan file"};
    app.require_subcommand(1);

    std::string streamPath;
    ks_sampledata::SyntheticStream stream;
    CLI::App* streamCommand = app.add_subcommand("stream", "point-stream file");
    streamCommand->add_option("file", streamPath, "file to write")->required();
    streamCommand->add_option("--points", stream.pointCount, "number of records");
    streamCommand->add_option("--line", stream.pointsPerLine, "points per vertical line")
        ->check(CLI::PositiveNumber);
    streamCommand->add_option("--lines", stream.lines, "lines per turn")
        ->check(CLI::PositiveNumber);
    streamCommand->add_option("--frame", stream.framePoints, "records per frame (0: no frames)");

    std::string gridPath;
    ks_sampledata::SyntheticGrid grid;
    bool noIntensity = false;
    bool noColour = false;
    CLI::App* gridCommand = app.add_subcommand("grid", "grid-scan file");
    gridCommand->add_option("file", gridPath, "file to write")->required();
    gridCommand->add_option("--rows", grid.rows, "rows")->check(CLI::NonNegativeNumber);
    gridCommand->add_option("--columns", grid.columns, "columns")->check(CLI::NonNegativeNumber);
    gridCommand->add_option("--dropout", grid.dropoutEvery, "every n-th cell has no return");
    gridCommand->add_flag("--no-intensity", noIntensity, "leave out the intensity channel");
    gridCommand->add_flag("--no-colour", noColour, "leave out the colour channel");

    CLI11_PARSE(app, arguments.count(), arguments.values());
    try {
        if (streamCommand->parsed()) {
            ks_sampledata::writeSyntheticStream(ks_tools::pathFromUtf8(streamPath), stream);
        } else {
            grid.intensity = !noIntensity;
            grid.colour = !noColour;
            ks_sampledata::writeSyntheticGrid(ks_tools::pathFromUtf8(gridPath), grid);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "noxsample: %s\n", error.what());
        return 1;
    }
    return 0;
}
