// A host that only knows the installed umbrella header and library.
#include <ks_formats/ks_formats.h>

#include <cstdio>

int main() {
    ks_formats::ImportBatch batch(KS_WIDE("tiny host"));
    batch.setBatchMode(ks_formats::BatchModePerFile);
    batch.addImportFile("/data/scan.rxp");
    std::printf("batch mode %d, %d import file\n", static_cast<int>(batch.getBatchMode()),
                batch.numImportFiles());
    return 0;
}
