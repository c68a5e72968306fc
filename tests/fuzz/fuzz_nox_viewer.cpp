// Fuzzes the viewer library: the input is a control byte and a NOX file that is opened,
// described and read through a query in blocks. With bit 0 of the control byte clear the file's
// checksums are made to match first, so damaged counts and sizes reach the decoders behind them.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "lyrant_api.h"
#include "support/file_bytes.h"
#include "support/nox_checksum_repair.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fs::path file =
        fs::temp_directory_path() / ("ks-fuzz-" + std::to_string(getpid()) + ".nox");
    if (size == 0) return 0;
    std::vector<uint8_t> bytes(data + 1, data + size);
    if ((data[0] & 1) == 0) ks_test::repairNoxChecksums(bytes);
    ks_test::writeBytes(file, bytes);
    const uint64_t scene = ksOpenNOX(file.u16string().c_str());
    if (scene == 0) return 0;
    ks_char name[256];
    int32_t clouds = 0;
    uint64_t points = 0;
    uint32_t flags = 0;
    uint8_t a = 0, b = 0;
    ksSceneInfo(scene, name, &clouds, &points, &flags, &a, &b);
    for (int32_t i = 0; i < clouds; ++i) {
        double matrix[16];
        ksCloudInfo(scene, i, name, &points, &flags, matrix);
    }
    const uint64_t query = ksCreateVisPointsQuery();
    ksSetQueryScope(query, scene);
    constexpr uint32_t kBlock = 1000;
    std::vector<double> xyz(3 * kBlock);
    std::vector<uint8_t> rgb(3 * kBlock), classes(kBlock);
    std::vector<int16_t> intensity(kBlock);
    std::vector<float> normals(3 * kBlock);
    while (ksGetQueryPointsd(query, kBlock, xyz.data(), rgb.data(), intensity.data(),
                             normals.data(), classes.data()) > 0) {
    }
    ksDeleteQuery(query);
    ksRemoveScene(scene);
    return 0;
}
