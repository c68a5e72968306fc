// Fuzzes text decoding and output naming with hostile names: the bytes are decoded leniently,
// encoded back, and used as input and output names in every batch mode.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "batch/text_converter.h"
#include "ks_formats/ks_formats.h"

using namespace ks_formats;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first half names the output, the rest the input, each a zero-terminated text.
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string outputText = bytes.substr(0, size / 2).c_str();
    const std::string inputText = bytes.substr(size / 2).c_str();

    const TextConverter input(inputText.c_str());
    const TextConverter output(outputText.c_str());
    // Decoding never loses a character: encoding the decoded text and decoding it again
    // gives the same code units.
    if (TextConverter(input.narrowText()).wide() != input.wide()) std::abort();

    ImportBatch batch(u"fuzz");
    batch.setOutputFilename(output.wideText());
    for (const BatchMode mode : {BatchModePerScan, BatchModePerFile, BatchModeSingleFile}) {
        batch.setBatchMode(mode);
        const WideChar* named = batch._getOutputFilename(input.wideText(), int(size % 7) - 1);
        // A name that points into the previous result is a legal input.
        if (named) batch._getOutputFilename(named, 3);
        batch._getStrippedFilename(input.wideText());
    }
    batch._addExportedFile(input.wideText());
    if (!batch.getExportedFilenameA(0) || !batch.getExportedFilenameW(0)) std::abort();
    return 0;
}
