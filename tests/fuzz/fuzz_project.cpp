#include "fuzz_project.h"

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "ks_formats/ks_formats.h"
#include "ks_sampledata/grid_scan.h"
#include "ks_sampledata/point_stream.h"
#include "ks_sampledata/rdb_data.h"
#include "ks_sampledata/rsp_project.h"

namespace fs = std::filesystem;
using namespace ks_sampledata;

namespace ks_fuzz {
namespace {

void writeProject(const fs::path& folder, int points) {
    RspProject project;
    project.pop = rspTranslation(100, 200, 10);
    project.positions = {RspScanPosition{"Pos1", rspPlacement(30, 1, 2, 0), {{"scan", "a.rxp"}}}};
    writeRspProject(folder / "site.rsp", project);
    const fs::path data = rdbScanFolder(folder, "Pos1", "a.rxp");
    fs::create_directories(data);
    std::vector<RdbRecord> records;
    std::vector<RdbColour> colours;
    for (int i = 0; i < points; ++i) {
        records.push_back(rdbRecordAt(i * 0.01, 2, 1, 6, 0));
        colours.push_back(RdbColour{uint8_t(i), 20, 30, 1});
    }
    writeRdbPositions(data / "P3D.rds", 6, 0, records);
    writeRdbColours(data / "P3D-RGB.rds", colours);
}

}  // namespace

fs::path makeScratchProject() {
    std::string pattern = (fs::temp_directory_path() / "ks-fuzz.XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    writeProject(pattern, 20);
    return pattern;
}

void writeSeeds(const fs::path& folder) {
    for (const char* kind : {"stream", "grid", "project", "positions", "colours", "nox", "text"})
        fs::create_directories(folder / kind);
    SyntheticStream stream;
    stream.pointCount = 200;
    stream.framePoints = 50;
    writeSyntheticStream(folder / "stream" / "seed.rxp", stream);
    SyntheticGrid grid;
    grid.rows = 6;
    grid.columns = 8;
    grid.dropoutEvery = 3;
    writeSyntheticGrid(folder / "grid" / "seed.3dd", grid);

    const fs::path project = folder / "project-files";
    fs::create_directories(project);
    writeProject(project, 20);
    const fs::path data = rdbScanFolder(project, "Pos1", "a.rxp");
    fs::copy_file(project / "site.rsp", folder / "project" / "seed.rsp");
    fs::copy_file(data / "P3D.rds", folder / "positions" / "seed.rds");
    fs::copy_file(data / "P3D-RGB.rds", folder / "colours" / "seed.rds");

    // A NOX file made by the library itself from the stream seed.
    using namespace ks_formats;
    if (Initialize() != ResultSuccess) throw std::runtime_error("writer library not found");
    ImportBatch batch(u"seeds");
    batch.includeRGB(true);
    batch.addImportFile((folder / "stream" / "seed.rxp").u16string().c_str());
    batch.setOutputFilename((folder / "nox" / "seed.nox").u16string().c_str());
    if (ConvertBatchToNOX(&batch) != ResultSuccess) throw std::runtime_error("seed conversion failed");
    // The viewer target's input starts with a control byte (0: repair the checksums).
    std::vector<char> nox(1, 0);
    {
        std::ifstream in(folder / "nox" / "seed.nox", std::ios::binary);
        nox.insert(nox.end(), std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::ofstream(folder / "nox" / "seed.nox", std::ios::binary | std::ios::trunc)
        .write(nox.data(), static_cast<std::streamsize>(nox.size()));

    FILE* text = std::fopen((folder / "text" / "seed").c_str(), "wb");
    if (!text) throw std::runtime_error("cannot write the text seed");
    std::fputs("/data/scans/Scan 01.\xC3\xA9t\xE2\x82\xAC.rxp\x80\xF0\x9F\x98\x80", text);
    std::fclose(text);
}

}  // namespace ks_fuzz
