#include "handlers/rsp_handler.h"

#include <array>

#include "handlers/rsp_project.h"
#include "ks_common/text_encoding.h"

using namespace ks_formats;

namespace {

// With the point database as data source, a scan file of the scanner's own formats is read
// from the database instead: its name gets the extension .rdb.
WideString dataSourcePath(WideString path, RSPOpt::RSPDataSource source) {
    static constexpr std::array<const WideChar*, 4> kScanMarks = {u".rxp", u".RXP", u".3dd",
                                                                  u".3DD"};
    if (source != RSPOpt::DataSourceRdb) return path;
    for (const WideChar* mark : kScanMarks)
        if (path.find(mark) != WideString::npos) {
            path.replace(path.size() - 4, 4, u".rdb");
            break;
        }
    return path;
}

}  // namespace

RSPHandler::RSPHandler() = default;

bool RSPHandler::acceptsExtension(const WideString& extension) {
    return extensionIsOneOf(extension, u"rsp", u"RSP");
}

bool RSPHandler::import(ImportBatch* batch, ScanInfo* scan) {
    return FileTypeHandler::import(batch, scan);
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
