// Fuzzes a whole conversion of one input kind: the bytes become the file named by
// KS_FUZZ_TARGET_FILE inside a scratch project, which is converted into the shipped writer.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz_project.h"
#include "ks_formats/ks_formats.h"

namespace fs = std::filesystem;
using namespace ks_formats;

namespace {

fs::path scratch;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (Initialize() != ResultSuccess) std::abort();
    scratch = ks_fuzz::makeScratchProject();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path target = scratch / KS_FUZZ_TARGET_FILE;
    {
        std::ofstream out(target, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    ImportBatch batch(KS_WIDE("fuzz"));
    batch.addImportFile((scratch / KS_FUZZ_IMPORT_NAME).u16string().c_str());
    batch.setOutputFilename((scratch / "out.nox").u16string().c_str());
    ConvertBatchToNOX(&batch);
    std::error_code ignored;
    fs::remove(scratch / "out.nox", ignored);
    return 0;
}
