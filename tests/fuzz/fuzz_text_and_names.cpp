// Fuzzes text decoding and output naming with hostile names: the bytes are decoded leniently,
// encoded back, and used as input and output names in every batch mode.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ks_common/text_encoding.h"
#include "ks_formats/ks_formats.h"

using namespace ks_formats;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first half names the output, the rest the input, each a zero-terminated text.
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string outputText = bytes.substr(0, size / 2).c_str();
    const std::string inputText = bytes.substr(size / 2).c_str();

    const WideString input = ks_common::fromUtf8(inputText.c_str());
    const WideString output = ks_common::fromUtf8(outputText.c_str());
    // Decoding never loses a character: encoding the decoded text and decoding it again
    // gives the same code units.
    if (ks_common::fromUtf8(ks_common::encodeUtf8(input).c_str()) != input) std::abort();

    ImportBatch batch(KS_WIDE("fuzz"));
    batch.setOutputFilename(output.c_str());
    for (const BatchMode mode : {BatchModePerScan, BatchModePerFile, BatchModeSingleFile}) {
        batch.setBatchMode(mode);
        const WideChar* named = batch._getOutputFilename(input.c_str(), int(size % 7) - 1);
        // A name that points into the previous result is a legal input.
        if (named) batch._getOutputFilename(named, 3);
        batch._getStrippedFilename(input.c_str());
    }
    batch._addExportedFile(input.c_str());
    if (!batch.getExportedFilenameA(0) || !batch.getExportedFilenameW(0)) std::abort();
    return 0;
}
