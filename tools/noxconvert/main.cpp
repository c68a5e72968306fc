// noxconvert: converts laser-scanner data into NOX files and looks at the result.
//
//   noxconvert convert INPUT... -o OUTPUT [--mode scan|file|batch] [options]
//   noxconvert info FILE.nox [--json]
//   noxconvert export FILE.nox OUT.ply|OUT.xyz|OUT.las|OUT.e57
//   noxconvert preview FILE.nox OUT.png [--width N] [--height N]
//   noxconvert formats
//   noxconvert view FILE.nox [--port N] [--bind ADDRESS] [--open]
//
// docs/noxconvert.md describes every option and the exit codes. One file a command in commands/,
// what the person reads in reports/, the files written whole or not at all in files/, Ctrl-C in
// cancel/ and the 3D view in view/; what the tool shares with the Python module is the host kit
// (tools/hostkit/).
#include <CLI/CLI.hpp>
#include <cstdio>

#include "commands/commands.h"
#include "commands/convert_options.h"
#include "commands/exit_codes.h"
#include "ks_tools/arguments.h"
#include "ks_tools/console.h"

int main(int argc, char** argv) {
    using namespace noxconvert;
    // Every narrow text in the tool is UTF-8: the arguments, the names it prints and passes on.
    const ks_tools::Utf8Arguments arguments(argc, argv);
    const ks_tools::Utf8Console console;
    CLI::App app{
        "Converts laser-scanner data (RSP projects, RXP, RDB, 3DD) into NOX point-cloud files.\n"
        "Exit codes: 0 success, 1 failed, 2 bad command line, 3 unsupported input,\n"
        "4 input missing or unreadable, 130 cancelled."};
    app.require_subcommand(1);
    bool quiet = false;
    app.add_flag("-q,--quiet", quiet, "no progress and no summary; errors are still printed");

    ConvertOptions convertOptions;
    CLI::App* convert =
        app.add_subcommand("convert", "convert input files or a project into NOX files");
    addConvertOptions(*convert, convertOptions);
    // Also after the command, where `convert --help` lists it; before it, as it always was.
    convert->add_flag("-q,--quiet", quiet, "no progress and no summary; errors are still printed");
    convert->fallthrough();

    std::string noxFile, target;
    CLI::App* info = app.add_subcommand(
        "info", "scenes, clouds, points, channels, bounds, matrices and tags of a NOX file");
    info->add_option("file", noxFile, "NOX file")->required();
    bool infoJson = false;
    info->add_flag("--json", infoJson, "print the same facts as one JSON object");
    info->fallthrough();

    CLI::App* exportCommand = app.add_subcommand(
        "export", "write the points of a NOX file as binary PLY, as text, as LAS or as E57");
    exportCommand->add_option("file", noxFile, "NOX file")->required();
    exportCommand
        ->add_option("output", target,
                     "OUT.ply (binary), OUT.xyz (text, one point a line), OUT.las or OUT.e57")
        ->required();
    exportCommand->fallthrough();

    int width = 0, height = 0;
    CLI::App* preview =
        app.add_subcommand("preview", "write a top-down picture of a NOX file as PNG");
    preview->add_option("file", noxFile, "NOX file")->required();
    preview->add_option("output", target, "PNG file to write")->required();
    preview
        ->add_option("--width", width,
                     "picture width in pixels (default 1024, or from --height and the aspect)")
        ->check(CLI::Range(1, kLargestPreviewSide));
    preview
        ->add_option("--height", height,
                     "picture height in pixels (default from the width and the aspect)")
        ->check(CLI::Range(1, kLargestPreviewSide));
    preview->fallthrough();

    CLI::App* formats =
        app.add_subcommand("formats", "list the input formats and the format capability table");
    formats->fallthrough();

#if KS_HAVE_VIEW
    ViewOptions viewOptions;
    CLI::App* view = app.add_subcommand(
        "view", "show a NOX file in the web browser in 3D (serves it until Ctrl-C)");
    view->add_option("file", viewOptions.noxPath, "NOX file")->required();
    view->add_option("--port", viewOptions.port, "port to serve on (default 8470; 0: any free one)")
        ->check(CLI::Range(0, 65535));
    view->add_option("--bind", viewOptions.host,
                     "address to serve on (default 127.0.0.1, this machine only; 0.0.0.0: every "
                     "network)");
    view->add_flag("--open", viewOptions.openBrowser, "start the system's web browser on the page");
    view->fallthrough();
#endif

    // CLI11 would only say that a command is required; name the word it did not know.
    const auto isCommand = [&](const std::string& word) {
        for (const CLI::App* command : app.get_subcommands({}))
            if (command->get_name() == word) return true;
        return false;
    };
    if (arguments.count() > 1 && !arguments[1].starts_with('-') && !isCommand(arguments[1])) {
        std::fprintf(stderr,
                     "noxconvert: unknown command '%s': use convert, info, export, preview, "
                     "formats or view\n"
                     "Run with --help for more information.\n",
                     arguments[1].c_str());
        return kExitUsage;
    }
    try {
        app.parse(arguments.count(), arguments.values());
    } catch (const CLI::ParseError& error) {
        // --help answers 0; every real parse error gets the one usage exit code.
        const int code = app.exit(error);
        return code == 0 ? kExitSuccess : kExitUsage;
    }

    if (convert->parsed()) return runConvert(convertOptions, quiet);
    if (info->parsed()) return runInfo(noxFile, infoJson);
    if (exportCommand->parsed()) return runExport(noxFile, target);
    if (preview->parsed()) return runPreview(noxFile, target, width, height);
    if (formats->parsed()) return runFormats();
#if KS_HAVE_VIEW
    if (view->parsed()) return runView(viewOptions);
#endif
    return kExitUsage;
}
