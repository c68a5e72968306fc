// A readable listing of a batch: its files and main settings, one per line.
#include <fstream>
#include <sstream>
#include <string>

#include "ks_common/text_encoding.h"
#include "ks_formats/import_batch.h"
#include "platform/paths.h"

namespace ks_formats {
namespace {

// Builds the listing as bytes, one byte per character, every line ended by CR LF. A character
// that has no one-byte form (above U+00FF) ends the listing: the text before it is kept and
// nothing after it is written.
class Listing {
public:
    bool failed() const { return failed_; }
    const std::string& bytes() const { return bytes_; }

    Listing& text(platform::WideView value) {
        for (const WideChar unit : value) {
            if (failed_) break;
            if (static_cast<char16_t>(unit) > 0xFF) {
                failed_ = true;
            } else if (unit == KS_WIDE('\n')) {
                bytes_ += "\r\n";  // a line feed inside a value is written as a line end too
            } else {
                bytes_.push_back(static_cast<char>(unit));
            }
        }
        return *this;
    }

    Listing& text(const char* ascii) { return text(ks_common::asciiToWide(ascii)); }

    // Numbers and flags as a standard output stream prints them by default: booleans as 0 or
    // 1, floating point with six significant digits (0.001, -1, 1000).
    template <typename T>
    Listing& value(const T& number) {
        std::ostringstream out;
        out << number;
        return text(out.str().c_str());
    }

    Listing& endLine() { return text("\n"); }

private:
    std::string bytes_;
    bool failed_ = false;
};

}  // namespace

bool ImportBatch::_write(const char* filename, const WideChar* header) {
    if (!filename) return false;
    std::ofstream file(filename, std::ios::binary | std::ios::trunc);
    if (!file.is_open()) return false;

    Listing out;
    if (header) out.text(ks_common::wideView(header)).endLine().endLine();
    out.text("numImportFiles()\t\t\t").value(numImportFiles()).endLine();
    for (const ScanInfo& info : importFiles)
        out.text("\tFile: ").text(ks_common::wideView(info.getFilename())).endLine();
    out.text("numExportedFiles()\t\t\t").value(numExportedFiles()).endLine();
    for (const WideString& name : exportedFiles) out.text("\tFile: ").text(name).endLine();
    out.text("getBatchMode()\t\t\t").value(static_cast<int>(getBatchMode())).endLine();
    out.text("getMinimumScanToImport()\t\t\t").value(getMinimumScanToImport()).endLine();
    out.text("getCombineClouds()\t\t\t").value(getCombineClouds()).endLine();
    out.text("getCompressionTolerance()\t\t").value(getCompressionTolerance()).endLine();
    out.text("getGenerateNormals()\t\t\t").value(getGenerateNormals()).endLine();
    out.text("getIncludeIntensity()\t\t\t").value(getIncludeIntensity()).endLine();
    out.text("getIncludeRGB()\t\t\t").value(getIncludeRGB()).endLine();
    out.text("getNormalizeIntensities()").value(getNormalizeIntensities()).endLine();
    out.text("getSpatialFiltering()").value(getSpatialFiltering()).endLine();
    out.text("getUnitsPerMeter()").value(getUnitsPerMeter()).endLine();
    out.text("getNumScans()").value(getNumScans()).endLine();

    file.write(out.bytes().data(), static_cast<std::streamsize>(out.bytes().size()));
    file.close();
    // A write or close that fails (a full disk, say) is a failed listing too.
    return !out.failed() && !file.fail();
}

}  // namespace ks_formats
