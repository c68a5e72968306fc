#include "support/test_handler.h"

namespace ks_test {

using namespace ks_formats;

bool TestHandler::import(ImportBatch* batch, ScanInfo* scan) {
    if (!batch) return false;
    ++imports;
    if (instead) return instead(*batch, *scan);
    ScanImport flow(*batch, *scan->getMatrix());
    flow.beginCloud({scan->getFilename(), outputIndex, KSIO_CLOUD_INTENSITY, nullptr});
    for (int i = 0; i < pointsPerFile; ++i) {
        double xyz[3] = {i * flow.scale(), 2 * i * flow.scale(), 3 * i * flow.scale()};
        uint8_t rgb[3] = {static_cast<uint8_t>(i), 0, 255};
        emitPoint(xyz, rgb, static_cast<int16_t>(i), nullptr, 0);
        if (flow.countPoint()) {
            if (atFeedbackPoint) atFeedbackPoint();
            if (flow.reportAndCheckCancel(50)) break;
        }
    }
    if (flow.cancelled()) return flow.finishCancelled();
    flow.finishOutput(batch->_getOutputFilename(scan->getFilename(), outputIndex));
    return true;
}

TestHandler& registeredTestHandler() {
    static TestHandler* handler = [] {
        auto* created = new TestHandler();
        registerHandler(created);
        return created;
    }();
    return *handler;
}

}  // namespace ks_test
