#include "handlers/rsp_handler.h"

#include <array>

#include "batch/batch_diagnostics.h"
#include "handlers/rsp_project.h"
#include "ks_common/text_encoding.h"

using namespace ks_formats;

namespace {

// With the point database as data source, a scan file of the scanner's own formats is read
// from the database instead: its name gets the extension .rdb.
WideString dataSourcePath(WideString path, RSPOpt::RSPDataSource source) {
    static constexpr std::array<const WideChar*, 4> kScanMarks = {KS_WIDE(".rxp"), KS_WIDE(".RXP"),
                                                                  KS_WIDE(".3dd"), KS_WIDE(".3DD")};
    if (source != RSPOpt::DataSourceRdb) return path;
    for (const WideChar* mark : kScanMarks)
        if (path.find(mark) != WideString::npos) {
            path.replace(path.size() - 4, 4, KS_WIDE(".rdb"));
            break;
        }
    return path;
}

}  // namespace

RSPHandler::RSPHandler() = default;

bool RSPHandler::acceptsExtension(const WideString& extension) {
    return extensionIsOneOf(extension, KS_WIDE("rsp"), KS_WIDE("RSP"));
}

// A project reaches import when it was not expanded: it could not be read, or it came with
// other inputs. Either way nothing of it is converted, and the host learns why.
bool RSPHandler::import(ImportBatch* batch, ScanInfo* scan) {
    if (!batch || !scan) return false;
    const std::string path = ks_common::toUtf8(scan->getFilename());
    ProjectContents project;
    std::string why;
    if (readProject(path, project, &why))
        why = path +
              ": a project is expanded into its scans only when it is the batch's only input; "
              "convert it on its own";
    diagnostics::reportFailureUtf8(batch, ResultFailed, PhaseRead, why);
    return false;
}

bool RSPHandler::createBatch(ImportBatch* batch, const WideString& path) {
    if (!batch) return false;
    const RSPOpt::RSPDataSource source = batch->RSPSettings().getDataSource();
    ProjectContents project;
    if (!readProject(ks_common::encodeUtf8(path), project)) return false;

    for (const ScanPosition& position : project.positions) {
        for (const ProjectScan& scan : position.scans) {
            const WideString scanPath = scanFilePath(path, position, scan);
            if (scanPath.empty()) continue;  // too long for a path buffer: left out, not cut
            batch->addImportFile(dataSourcePath(scanPath, source).c_str());
            // The matrix goes to the entry just added, also when the batch held files before.
            auto* info = static_cast<ScanInfo*>(
                batch->_getScanInfo(static_cast<unsigned>(batch->numImportFiles() - 1)));
            if (!info) return false;
            info->setMatrix(position.registration);
        }
    }
    return true;
}
