#include "fuzz_project.h"

#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "ks_formats/ks_formats.h"
#include "ks_sampledata/grid_scan.h"
#include "ks_sampledata/point_stream.h"
#include "ks_sampledata/rdb_data.h"
#include "ks_sampledata/rsp_project.h"
#include "support/file_bytes.h"
#include "support/sample_inputs.h"

namespace fs = std::filesystem;
using namespace ks_sampledata;

namespace ks_fuzz {

fs::path makeScratchProject() {
    std::string pattern = (fs::temp_directory_path() / "ks-fuzz.XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    ks_test::writeOnePositionProject(pattern, 20);
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
    ks_test::writeOnePositionProject(project, 20);
    const fs::path data = rdbScanFolder(project, "Pos1", "a.rxp");
    fs::copy_file(project / "site.rsp", folder / "project" / "seed.rsp");
    fs::copy_file(data / "P3D.rds", folder / "positions" / "seed.rds");
    fs::copy_file(data / "P3D-RGB.rds", folder / "colours" / "seed.rds");

    // A NOX file made by the library itself from the stream seed.
    using namespace ks_formats;
    if (Initialize() != ResultSuccess) throw std::runtime_error("writer library not found");
    ImportBatch batch(KS_WIDE("seeds"));
    batch.includeRGB(true);
    batch.addImportFile((folder / "stream" / "seed.rxp").u16string().c_str());
    batch.setOutputFilename((folder / "nox" / "seed.nox").u16string().c_str());
    if (ConvertBatchToNOX(&batch) != ResultSuccess)
        throw std::runtime_error("seed conversion failed");
    // The viewer target's input starts with a control byte (0: repair the checksums).
    std::vector<uint8_t> nox = ks_test::readBytes(folder / "nox" / "seed.nox");
    nox.insert(nox.begin(), 0);
    ks_test::writeBytes(folder / "nox" / "seed.nox", nox);

    FILE* text = std::fopen((folder / "text" / "seed").c_str(), "wb");
    if (!text) throw std::runtime_error("cannot write the text seed");
    std::fputs("/data/scans/Scan 01.\xC3\xA9t\xE2\x82\xAC.rxp\x80\xF0\x9F\x98\x80", text);
    std::fclose(text);
}

}  // namespace ks_fuzz
