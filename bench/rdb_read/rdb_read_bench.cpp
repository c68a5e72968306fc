// Times one point-database scan through ConvertBatchToNOX into the null writer.
//
//   LD_LIBRARY_PATH=build/bench/null_writer build/bin/rdb_read_bench [points] [data folder]
//
// The scan (format version 6 with colours) is written once into the data folder (default
// build/bench/rdb_data) and reused while its size matches.
#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ks_formats/ks_formats.h"
#include "ks_sampledata/rdb_data.h"

namespace fs = std::filesystem;
using namespace ks_formats;

namespace {

void writeScan(const fs::path& folder, uint64_t points) {
    fs::create_directories(folder);
    ks_sampledata::RdbPositionsWriter positions(folder / "P3D.rds", 6, 0);
    for (uint64_t i = 0; i < points; ++i) {
        ks_sampledata::RdbRecord record =
            ks_sampledata::rdbRecordAt(static_cast<double>(i % 4000) * 0.01,
                                       static_cast<double>(i / 4000 % 4000) * 0.01, 1.5, 6, 0);
        record.amplitude = static_cast<uint16_t>(i);
        record.reflectance = static_cast<uint16_t>(i * 7);
        record.flags = i % 1000 == 999 ? ks_sampledata::kRdbInvalidPoint : 0;
        positions.write(record);
    }
    positions.finish();
    const std::vector<ks_sampledata::RdbColour> colours(points, {90, 120, 150, 1});
    ks_sampledata::writeRdbColours(folder / "P3D-RGB.rds", colours);
}

}  // namespace

int main(int argc, char** argv) {
    const uint64_t points = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 20000000ull;
    const fs::path root = argc > 2 ? fs::path(argv[2]) : fs::path("build/bench/rdb_data");
    const fs::path folder = ks_sampledata::rdbScanFolder(root, "Pos001", "scan.rxp");
    std::error_code error;
    if (fs::file_size(folder / "P3D.rds", error) != 40 + points * 34) {
        std::printf("writing %llu records into %s\n", static_cast<unsigned long long>(points),
                    folder.c_str());
        writeScan(folder, points);
    }

    if (Initialize() != ResultSuccess) {
        std::fprintf(stderr, "no writer library\n");
        return 1;
    }
    void* writer = dlopen("libNoxWriter.so", RTLD_NOW | RTLD_NOLOAD);
    auto written =
        writer ? reinterpret_cast<uint64_t (*)()>(dlsym(writer, "ksNullWriterPoints")) : nullptr;
    if (!written) {
        std::fprintf(stderr,
                     "put the null writer first: LD_LIBRARY_PATH=build/bench/null_writer\n");
        return 1;
    }

    ImportBatch batch(KS_WIDE("rdb_read_bench"));
    batch.includeRGB(true);
    batch.setOutputFilename(KS_WIDE("/tmp/rdb_read_bench.nox"));
    batch.addImportFile((root / "SCANS/Pos001/SINGLESCANS/scan.rdb").c_str());
    const auto start = std::chrono::steady_clock::now();
    const Result result = ConvertBatchToNOX(&batch);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("result %d, %llu points in %.3f s: %.1f million points per second\n", result,
                static_cast<unsigned long long>(written()), seconds,
                static_cast<double>(written()) / seconds / 1e6);
    return result == ResultSuccess && written() == points ? 0 : 1;
}
