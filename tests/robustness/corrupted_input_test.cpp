// Every kind of input, damaged in many ways, converted in every batch mode: each conversion
// ends with a result, and every file it leaves under an output name is a complete NOX file.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>

#include "support/corrupted_variants.h"
#include "support/file_bytes.h"
#include "support/library_session.h"
#include "support/sample_inputs.h"
#include "support/scratch_folder.h"
#include "support/shipped_conversion.h"
#include "support/shipped_nox.h"

using namespace ks_formats;
namespace fs = std::filesystem;

namespace {

bool isExpectedResult(Result result) {
    switch (result) {
        case ResultSuccess:
        case ResultFailed:
        case ResultOutputFailed:
        case ResultUnsupportedFileType:
        case ResultCannotOpenFile:
            return true;
        default:
            return false;
    }
}

// Files other than the inputs left in the folder: outputs and any temporaries.
std::vector<fs::path> leftovers(const fs::path& folder) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file() &&
            entry.path().filename().string().find(".nox") != std::string::npos)
            found.push_back(entry.path());
    return found;
}

TEST(CorruptedInput, EveryDamagedFileEndsCleanlyAndLeavesOnlyCompleteOutput) {
    ASSERT_EQ(ks_test::initializeOnce(), ResultSuccess);
    const fs::path dir = ks_test::scratchFolder();
    fs::create_directories(dir / "in");
    const std::vector<ks_test::CorruptibleInput> inputs =
        ks_test::writeCorruptibleInputs(dir / "in");

    size_t tried = 0, reported = 0;
    uint32_t seed = 1;
    for (const ks_test::CorruptibleInput& input : inputs) {
        for (const std::vector<uint8_t>& bytes : ks_test::corruptedVariants(input.valid, seed++)) {
            const BatchMode mode = static_cast<BatchMode>(1 + tried % 3);
            ks_test::writeBytes(input.corruptible, bytes);
            fs::remove_all(dir / "out");
            fs::create_directories(dir / "out");
            const fs::path output =
                mode == BatchModeSingleFile ? dir / "out" / "all.nox" : dir / "out";
            const ks_test::ShippedConversion result =
                ks_test::convertWithShippedWriter({{input.importName}, output, mode});
            ++tried;
            SCOPED_TRACE(input.kind + ", variant " + std::to_string(tried) + ", " +
                         std::to_string(bytes.size()) + " bytes, mode " + std::to_string(mode));
            EXPECT_TRUE(isExpectedResult(result.result)) << result.result;
            if (!result.errors.empty()) ++reported;
            for (const fs::path& file : leftovers(dir / "out")) {
                EXPECT_EQ(file.extension(), ".nox") << "temporary left behind: " << file;
                EXPECT_TRUE(ks_test::opensInViewer(file)) << "incomplete output: " << file;
            }
            for (const std::string& file : result.files)
                EXPECT_TRUE(fs::exists(file)) << "recorded but not written: " << file;
            if (::testing::Test::HasFailure()) return;
        }
        ks_test::writeBytes(input.corruptible, input.valid);
    }
    std::cout << "damaged inputs tried: " << tried << ", reported as failed files: " << reported
              << "\n";
    RecordProperty("tried", static_cast<int>(tried));
    EXPECT_GT(tried, 5 * 150u);
}

}  // namespace
