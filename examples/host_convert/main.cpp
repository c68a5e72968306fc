// host_convert OUTPUT.nox INPUT...: converts scan files or one RSP project into one NOX file,
// printing progress and errors, and leaves out returns closer than 5 m to their scanner.
#include <ks_formats/ks_formats.h>

#include <cstdio>

using namespace ks_formats;

struct PrintingFeedback final : Feedback {
    void reportProgress(ImportBatch*, const WideChar*, int overall, int filePercent, int fileIndex,
                        int phase) override {
        std::printf("\rfile %d %s %3d%%, overall %3d%%", fileIndex + 1,
                    phase == PhaseWrite ? "writing" : "reading", filePercent, overall);
        std::fflush(stdout);
    }
    void reportError(ImportBatch*, const WideChar*, Result result, int fileIndex,
                     ConvertPhase phase) override {
        std::fprintf(stderr, "\nfile %d: error %d in phase %d\n", fileIndex + 1, result, phase);
    }
};

// Sees each point in its scanner's own frame; false keeps its place as a null point.
unsigned long long leftOut = 0;
bool farFromScanner(double* xyz, uint8_t*, int16_t&, float*, uint8_t&) {
    const bool keep = xyz[0] * xyz[0] + xyz[1] * xyz[1] + xyz[2] * xyz[2] >= 5.0 * 5.0;
    leftOut += !keep;
    return keep;
}

int main(int argc, char** argv) {
    if (argc < 3) return std::fprintf(stderr, "usage: host_convert OUTPUT.nox INPUT...\n"), 2;
    if (Initialize() != ResultSuccess) return std::fprintf(stderr, "no writer library\n"), 1;
    ImportBatch batch(KS_WIDE("host_convert"));
    PrintingFeedback feedback;
    batch.setFeedbackObject(&feedback);
    batch.setPointsFilterCallback(&farFromScanner);
    batch.setBatchMode(BatchModeSingleFile);
    batch.setOutputFilename(argv[1]);
    for (int i = 2; i < argc; ++i) batch.addImportFile(argv[i]);
    const Result result = ConvertBatchToNOX(&batch);
    std::printf("\nleft out %llu points near a scanner\n", leftOut);
    for (int i = 0; i < batch.numExportedFiles(); ++i)
        std::printf("wrote %s\n", batch.getExportedFilenameA(i));
    return result == ResultSuccess ? 0 : 1;
}
