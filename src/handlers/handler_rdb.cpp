#include "handlers/handler_rdb.h"

#include <array>

#include "batch/batch_diagnostics.h"
#include "handlers/rds_reader.h"
#include "handlers/rds_records.h"
#include "handlers/scan_import.h"
#include "handlers/value_conversion.h"
#include "ks_common/little_endian.h"
#include "ks_common/text_encoding.h"
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

namespace {

// A scan's positions file with its colours beside it, one record of each per point, read
// through read-ahead buffers.
class RdsPoints : public PointSource {
public:
    RdsPoints(ImportBatch& batch, const WideString& positionsPath, const WideString& coloursPath,
              double scale)
        : positionsFile_(ks_common::encodeUtf8(positionsPath)) {
        RSPOpt& options = batch.RSPSettings();
        intensitySource_ = options.getIntensitySource();
        reflectanceScale_ = options.getReflectanceScale();
        if (reflectanceScale_ == 0.0) reflectanceScale_ = 1.0;

        if (!positions_.open(positionsFile_))
            throw ConversionFailure(ResultFailed, PhaseRead, positions_.error());
        withColour_ = batch.getIncludeRGB() && colours_.open(ks_common::encodeUtf8(coloursPath));
        RdsHeader header;
        std::string why;
        if (!readRdsHeader(positions_, header, &why))
            throw ConversionFailure(ResultFailed, PhaseRead, positionsFile_, why);
        // A version without a record layout cannot be read at all.
        if (!rdsRecordLayout(header, layout_))
            throw ConversionFailure(ResultFailed, PhaseRead, positionsFile_,
                                    "format version " + std::to_string(header.formatVersion) +
                                        " (record variant " + std::to_string(header.recordVariant) +
                                        ") has no record layout that can be read");
        versionOne_ = header.formatVersion == 1;
        RdsHeader colourHeader;
        if (withColour_ && !readRdsHeader(colours_, colourHeader)) {
            withColour_ = false;
            colours_.close();
        }
        metres_ = kRdsMetresPerStep * scale;
    }

    bool withColour() const { return withColour_; }

    // A partial record at the end of the positions file is left unread.
    bool readSome(PointOutput& out) override {
        for (int n = 0; n < kRecordsPerRead; ++n) {
            if (positions_.atEnd()) return false;
            const unsigned char* record = positions_.take(layout_.recordSize);
            if (!record) return false;
            if (!sendRecord(record, out)) return false;
        }
        return true;
    }

    int filePercent() const override {
        return ks_formats::filePercent(positions_.consumed(), positions_.fileSize());
    }

    void endReading() override {
        readToEnd_ = positions_.atEnd() ||
                     positions_.fileSize() - positions_.consumed() < layout_.recordSize;
        readError_ = positions_.error();
        positions_.close();
        colours_.close();
    }

    void checkWholeRead() const override {
        if (!readToEnd_)
            throw ConversionFailure(
                ResultFailed, PhaseRead,
                readError_.empty() ? positionsFile_ + ": the data ended early" : readError_);
    }

private:
    // Records handled per call: the loop of the flow stays out of the way of the points.
    static constexpr int kRecordsPerRead = 1 << 16;

    bool sendRecord(const unsigned char* record, PointOutput& out) {
        const double offset = layout_.coordinateOffset;
        double xyz[3] = {
            (static_cast<double>(ks_common::load<uint32_t>(record)) - offset) * metres_,
            (static_cast<double>(ks_common::load<uint32_t>(record + 4)) - offset) * metres_,
            (static_cast<double>(ks_common::load<uint32_t>(record + 8)) - offset) * metres_};
        const uint16_t amplitude = ks_common::load<uint16_t>(record + 12);
        int16_t intensity = 0;
        if (versionOne_ || intensitySource_ == RSPOpt::IntensityAmplitude)
            intensity = amplitudeIntensity(amplitude);
        else if (intensitySource_ == RSPOpt::IntensityReflectance)
            intensity = low16Bits(static_cast<double>(ks_common::load<uint16_t>(record + 14)) *
                                  reflectanceScale_ * 0.01);
        // u8 flags up to version 2, the low byte of u16 flags after: one byte either way.
        const uint8_t flags = record[layout_.flagsOffset];

        // One colours record per positions record, null points included, so colours stay in
        // step; past the end of a short colours file the points get none.
        uint8_t rgb[3] = {0, 0, 0};
        if (withColour_) {
            if (const unsigned char* colour = colours_.take(kRdsColourRecordBytes)) {
                if (colour[3] == 0) {
                    rgb[0] = rgb[1] = rgb[2] = 255;
                } else {
                    rgb[0] = colour[0];
                    rgb[1] = colour[1];
                    rgb[2] = colour[2];
                }
            }
        }
        if (flags & kRdsInvalidPoint) return out.nullPoint();
        return out.point(xyz, rgb, intensity, nullptr, 0);
    }

    std::string positionsFile_;
    RdsReader positions_;
    RdsReader colours_;
    RdsRecordLayout layout_;
    RSPOpt::RSPIntensitySource intensitySource_ = RSPOpt::IntensityAmplitude;
    double reflectanceScale_ = 1.0;
    double metres_ = kRdsMetresPerStep;
    bool versionOne_ = false;
    bool withColour_ = false;
    bool readToEnd_ = false;
    std::string readError_;
};

}  // namespace

bool _RDBHandler::importRdbScan(ImportBatch* batch, const WideChar* importName,
                                const WideString& positionsPath, const WideString& coloursPath,
                                const WideChar* cloudName) {
    if (!batch) return false;
    return guardedImport(*batch, importName, [&] {
        ScanImport flow(*batch, *this, scanMatrix_);
        RdsPoints points(*batch, positionsPath, coloursPath, flow.scale());
        uint32_t cloudFlags = points.withColour() ? KSIO_CLOUD_COLOUR : 0;
        if (batch->getIncludeIntensity()) cloudFlags |= KSIO_CLOUD_INTENSITY;
        return flow.run({.outputInputName = importName,
                         .outputIndex = -1,
                         .cloudFlags = cloudFlags,
                         .cloudName = cloudName,
                         .cancelBeforeReport = true},
                        points);
    });
}
