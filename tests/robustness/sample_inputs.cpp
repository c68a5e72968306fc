#include "robustness/sample_inputs.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "ks_sampledata/grid_scan.h"
#include "ks_sampledata/point_stream.h"
#include "ks_sampledata/rdb_data.h"
#include "ks_sampledata/rsp_project.h"

namespace fs = std::filesystem;
using namespace ks_sampledata;

namespace ks_test {

std::vector<uint8_t> readFileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFileBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

fs::path writeOnePositionProject(const fs::path& folder, int points) {
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
    return folder / "site.rsp";
}

std::vector<SampleInput> writeSampleInputs(const fs::path& folder) {
    std::vector<SampleInput> inputs;

    SyntheticStream stream;
    stream.pointCount = 3000;
    stream.framePoints = 500;
    writeSyntheticStream(folder / "stream.rxp", stream);
    inputs.push_back({"point stream", folder / "stream.rxp", folder / "stream.rxp", {}});

    SyntheticGrid grid;
    grid.rows = 30;
    grid.columns = 40;
    grid.dropoutEvery = 5;
    writeSyntheticGrid(folder / "grid.3dd", grid);
    inputs.push_back({"grid scan", folder / "grid.3dd", folder / "grid.3dd", {}});

    // The database files are damaged in place and reached through the project.
    writeOnePositionProject(folder, 400);
    const fs::path data = rdbScanFolder(folder, "Pos1", "a.rxp");
    inputs.push_back({"project file", folder / "site.rsp", folder / "site.rsp", {}});
    inputs.push_back({"database positions", data / "P3D.rds", folder / "site.rsp", {}});
    inputs.push_back({"database colours", data / "P3D-RGB.rds", folder / "site.rsp", {}});

    for (SampleInput& input : inputs) input.valid = readFileBytes(input.corruptible);
    return inputs;
}

std::vector<std::vector<uint8_t>> corruptedVariants(const std::vector<uint8_t>& valid,
                                                    uint32_t seed) {
    std::vector<std::vector<uint8_t>> variants;
    variants.emplace_back();  // empty

    // Every cut inside the first 80 bytes (headers), then cuts spread over the rest.
    const size_t size = valid.size();
    std::vector<size_t> cuts;
    for (size_t at = 1; at < std::min<size_t>(size, 80); ++at) cuts.push_back(at);
    for (int i = 1; i <= 24 && size > 80; ++i) cuts.push_back(80 + (size - 80) * i / 25);
    for (size_t at : cuts) variants.emplace_back(valid.begin(), valid.begin() + long(at));

    if (size == 0) return variants;
    std::mt19937 random(seed);
    auto flip = [&](std::vector<uint8_t>& bytes, size_t within) {
        const size_t at = random() % std::min(within, bytes.size());
        bytes[at] ^= uint8_t(1u << (random() % 8));
    };
    for (int i = 0; i < 48; ++i) {  // single flips, half of them in the header area
        std::vector<uint8_t> bytes = valid;
        flip(bytes, i % 2 ? 96 : size);
        variants.push_back(std::move(bytes));
    }
    for (int i = 0; i < 16; ++i) {  // bursts of damage
        std::vector<uint8_t> bytes = valid;
        for (int j = 0; j < 8; ++j) flip(bytes, size);
        variants.push_back(std::move(bytes));
    }

    // Declared counts and sizes gone wild: each 32-bit field of the first 64 bytes.
    for (size_t at = 0; at + 4 <= std::min<size_t>(size, 64); at += 4) {
        for (const uint32_t value : {0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u}) {
            std::vector<uint8_t> bytes = valid;
            for (int b = 0; b < 4; ++b) bytes[at + size_t(b)] = uint8_t(value >> (8 * b));
            variants.push_back(std::move(bytes));
        }
    }
    return variants;
}

}  // namespace ks_test
