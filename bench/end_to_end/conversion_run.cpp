#include "conversion_run.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "ks_formats/ks_formats.h"

namespace fs = std::filesystem;
using namespace ks_formats;

namespace end_to_end {

std::string inputKind(const fs::path& file) {
    const std::string name = file.string();
    if (name.size() < 3) return {};
    std::string kind = name.substr(name.size() - 3);
    for (char& c : kind) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return kind == "rdb" || kind == "rxp" || kind == "3dd" ? kind : std::string();
}

namespace {

// Adds the project's scans (with their registration) and the extra inputs.
bool fillBatch(ImportBatch& batch, const fs::path& project, const std::vector<fs::path>& extras) {
    if (!project.empty() && CreateBatchFromProject(&batch, project.c_str()) != ResultSuccess)
        return false;
    for (const fs::path& extra : extras) batch.addImportFile(extra.c_str());
    return true;
}

}  // namespace

std::vector<fs::path> listImportFiles(const fs::path& project,
                                      const std::vector<fs::path>& extras) {
    std::vector<fs::path> files;
    if (Initialize() != ResultSuccess) return files;
    ImportBatch batch(KS_WIDE("end_to_end_bench"));
    if (!fillBatch(batch, project, extras)) return files;
    for (int i = 0; i < batch.numImportFiles(); ++i)
        files.emplace_back(fs::path(std::u16string(batch.getImportFilename(i))));
    return files;
}

int runConversion(const ConversionRequest& request) {
    if (Initialize() != ResultSuccess) {
        std::fprintf(stderr, "the writer library could not be loaded\n");
        return 1;
    }
    ImportBatch batch(KS_WIDE("end_to_end_bench"));
    batch.includeRGB(true);
    batch.includeIntensity(true);
    batch.setCompressionTolerance(0.001f);
    batch.setBatchMode(static_cast<BatchMode>(request.batchMode));
    batch.setOutputFilename((request.outputFolder / ("e2e_" + request.kind + ".nox")).c_str());
    if (!fillBatch(batch, request.project, request.extraInputs)) {
        std::fprintf(stderr, "the project could not be read\n");
        return 1;
    }
    for (int i = 0; i < batch.numImportFiles(); ++i)
        batch.setIncludeFile(
            i, request.kind == "all" ||
                   inputKind(std::u16string(batch.getImportFilename(i))) == request.kind);

    const auto start = std::chrono::steady_clock::now();
    const Result result = ConvertBatchToNOX(&batch);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (result != ResultSuccess) {
        std::fprintf(stderr, "conversion answered %d\n", result);
        return 1;
    }
    std::printf("seconds %.6f\n", seconds);
    for (int i = 0; i < batch.numExportedFiles(); ++i)
        std::printf("file %s\n", batch.getExportedFilenameA(i));
    return 0;
}

std::vector<std::string> conversionArguments(const std::string& self,
                                             const ConversionRequest& request) {
    std::vector<std::string> args = {self,
                                     "--child",
                                     request.kind,
                                     std::to_string(request.batchMode),
                                     request.outputFolder.string(),
                                     request.project.empty() ? "-" : request.project.string()};
    for (const fs::path& extra : request.extraInputs) args.push_back(extra.string());
    return args;
}

bool parseConversionArguments(int argc, char** argv, ConversionRequest& request) {
    if (argc < 6) return false;
    request.kind = argv[2];
    request.batchMode = std::atoi(argv[3]);
    request.outputFolder = argv[4];
    request.project = std::string(argv[5]) == "-" ? fs::path() : fs::path(argv[5]);
    for (int i = 6; i < argc; ++i) request.extraInputs.emplace_back(argv[i]);
    return request.batchMode >= 1 && request.batchMode <= 3;
}

}  // namespace end_to_end
