#include "handlers/handler_rdb.h"

#include <array>

#include "batch/batch_diagnostics.h"
#include "handlers/file_percent.h"
#include "handlers/rds_reader.h"
#include "handlers/rds_records.h"
#include "handlers/scan_import.h"
#include "handlers/value_conversion.h"
#include "ks_common/little_endian.h"
#include "ks_common/text_encoding.h"
#include "platform/component.h"
#include "platform/paths.h"

using namespace ks_formats;

namespace {

int16_t amplitudeIntensity(uint16_t amplitude) {
    return static_cast<int16_t>(static_cast<uint16_t>(amplitude - 32768u));
}

}  // namespace

WideString rdbDataFolder(const WideString& name) {
    static constexpr std::array<const WideChar*, 6> kMarks = {KS_WIDE(".rdb"), KS_WIDE(".RDB"),
                                                              KS_WIDE(".rxp"), KS_WIDE(".RXP"),
                                                              KS_WIDE(".3dd"), KS_WIDE(".3DD")};
    bool marked = false;
    for (const WideChar* mark : kMarks) marked = marked || name.find(mark) != WideString::npos;
    const size_t scans = name.find(KS_WIDE("SCANS"));
    if (!marked || scans == WideString::npos) return {};
    WideString folder = name;
    WideString database = KS_WIDE("project.rdb");
    database += platform::kSeparator;
    folder.insert(scans, database);
    folder.replace(folder.size() - 4, 4, 1, platform::kSeparator);
    return folder;
}

// The scanner handlers initialise the component layer on the thread that loads the library.
_RDBHandler::_RDBHandler() { ks_formats::com::CoInitialize(nullptr); }

bool _RDBHandler::acceptsExtension(const WideString& extension) {
    return extensionIsOneOf(extension, KS_WIDE("rdb"), KS_WIDE("RDB"));
}

bool _RDBHandler::import(ImportBatch* batch, ScanInfo* scan) {
    if (!beginScan(batch, scan)) return false;
    // A copy: a host that adds import files from a callback may move the entry scan points to.
    const WideString name(ks_common::wideView(scan->getFilename()));
    const size_t dot = platform::findExtension(name);
    if (dot == platform::WideView::npos) return false;
    const platform::WideView extension = platform::WideView(name).substr(dot + 1);
    if (extension != KS_WIDE("rdb") && extension != KS_WIDE("RDB")) return false;
    return locateRdbData(batch, name.c_str(), nullptr);
}

bool _RDBHandler::locateRdbData(ImportBatch* batch, const WideChar* name,
                                const WideChar* cloudName) {
    const WideString folder = rdbDataFolder(WideString(ks_common::wideView(name)));
    if (folder.empty()) {
        diagnostics::reportFailureUtf8(
            batch, ResultFailed, PhaseRead,
            ks_common::toUtf8(name) +
                ": not a scan of a project's point database (the name needs a SCANS folder and "
                "an .rdb, .rxp or .3dd ending)");
        return false;
    }
    return importRdbScan(batch, name, folder + KS_WIDE("P3D.rds"), folder + KS_WIDE("P3D-RGB.rds"),
                         cloudName);
}

bool _RDBHandler::importRdbScan(ImportBatch* batch, const WideChar* importName,
                                const WideString& positionsPath, const WideString& coloursPath,
                                const WideChar* cloudName) {
    if (!batch) return false;
    RSPOpt& options = batch->RSPSettings();
    const RSPOpt::RSPIntensitySource intensitySource = options.getIntensitySource();
    double reflectanceScale = options.getReflectanceScale();
    if (reflectanceScale == 0.0) reflectanceScale = 1.0;

    const auto fail = [&](const std::string& why) {
        diagnostics::reportFailureUtf8(batch, ResultFailed, PhaseRead, why);
        return false;
    };
    const std::string positionsFile = ks_common::encodeUtf8(positionsPath);
    RdsReader positions;
    RdsReader colours;
    if (!positions.open(positionsFile)) return fail(positions.error());
    bool withColour = batch->getIncludeRGB() && colours.open(ks_common::encodeUtf8(coloursPath));

    RdsHeader header;
    RdsRecordLayout layout;
    std::string why;
    if (!readRdsHeader(positions, header, &why)) return fail(positionsFile + ": " + why);
    // A version without a record layout cannot be read at all.
    if (!rdsRecordLayout(header, layout))
        return fail(positionsFile + ": format version " + std::to_string(header.formatVersion) +
                    " (record variant " + std::to_string(header.recordVariant) +
                    ") has no record layout that can be read");
    RdsHeader colourHeader;
    if (withColour && !readRdsHeader(colours, colourHeader)) {
        withColour = false;
        colours.close();
    }

    uint32_t cloudFlags = withColour ? KSIO_CLOUD_COLOUR : 0;
    if (batch->getIncludeIntensity()) cloudFlags |= KSIO_CLOUD_INTENSITY;

    ScanImport flow(*batch, scanMatrix_);
    if (!flow.beginCloud({.outputInputName = importName,
                          .outputIndex = -1,
                          .cloudFlags = cloudFlags,
                          .cloudName = cloudName}))
        return false;
    const WriterLibrary& writer = writerLibrary();
    const double metres = kRdsMetresPerStep * flow.scale();
    const double offset = layout.coordinateOffset;
    const bool versionOne = header.formatVersion == 1;

    // A partial record at the end of the positions file is left unread.
    while (!positions.atEnd() && !flow.cancelled()) {
        const unsigned char* record = positions.take(layout.recordSize);
        if (!record) break;
        double xyz[3] = {
            (static_cast<double>(ks_common::load<uint32_t>(record)) - offset) * metres,
            (static_cast<double>(ks_common::load<uint32_t>(record + 4)) - offset) * metres,
            (static_cast<double>(ks_common::load<uint32_t>(record + 8)) - offset) * metres};
        const uint16_t amplitude = ks_common::load<uint16_t>(record + 12);
        int16_t intensity = 0;
        if (versionOne || intensitySource == RSPOpt::IntensityAmplitude)
            intensity = amplitudeIntensity(amplitude);
        else if (intensitySource == RSPOpt::IntensityReflectance)
            intensity = low16Bits(static_cast<double>(ks_common::load<uint16_t>(record + 14)) *
                                  reflectanceScale * 0.01);
        // u8 flags up to version 2, the low byte of u16 flags after: one byte either way.
        const uint8_t flags = record[layout.flagsOffset];

        // One colours record per positions record, null points included, so colours stay in
        // step; past the end of a short colours file the points get none.
        uint8_t rgb[3] = {0, 0, 0};
        if (withColour) {
            if (const unsigned char* colour = colours.take(kRdsColourRecordBytes)) {
                if (colour[3] == 0) {
                    rgb[0] = rgb[1] = rgb[2] = 255;
                } else {
                    rgb[0] = colour[0];
                    rgb[1] = colour[1];
                    rgb[2] = colour[2];
                }
            }
        }

        if (flags & kRdsInvalidPoint)
            writer.addNullPoint();
        else
            emitPoint(xyz, rgb, intensity, nullptr, 0);
        if (flow.countPoint())
            flow.checkCancelThenReport(filePercent(positions.consumed(), positions.fileSize()));
    }
    const bool readToEnd =
        positions.atEnd() || positions.fileSize() - positions.consumed() < layout.recordSize;
    const std::string readError = positions.error();
    positions.close();
    colours.close();
    if (flow.cancelled()) return flow.finishCancelled();
    flow.finishOutput(batch->_getOutputFilename(importName, -1));
    if (!readToEnd)
        return fail(readError.empty() ? positionsFile + ": the data ended early" : readError);
    return true;
}
