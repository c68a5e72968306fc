#pragma once

#include <cstdint>

#include "ks_formats/format_capabilities.h"
#include "ks_formats/import_batch.h"
#include "writer/writer_library.h"

namespace ks_formats {

// One input format: answers for its three-character extension, reads files of that kind and
// passes their points to the writer library. Handler objects live for the whole process and are
// never deleted through this base.
class FileTypeHandler {
public:
    FileTypeHandler(const WideChar* description, const WideChar* extension);
    FileTypeHandler(const FileTypeHandler&) = delete;
    FileTypeHandler& operator=(const FileTypeHandler&) = delete;

    virtual FormatID getFormatID() = 0;
    virtual bool acceptsExtension(const WideString& extension) = 0;
    // True when the file's points were written; failures are reported through the batch.
    virtual bool import(ImportBatch* batch, ScanInfo* scan);
    // True when the batch was filled from the project file at path.
    virtual bool createBatch(ImportBatch* batch, const WideString& path);

    const WideChar* getDescription() const { return description_.c_str(); }
    const WideChar* getExtension() const { return extension_.c_str(); }
    void setPointsFilter(const PointsFilterCallback& filter) { pointsFilter_ = filter; }

    // Writes one point through the batch's filter: true when written, false when the filter
    // refused it and a null point holds its place instead.
    bool emitPoint(double* xyz, uint8_t* rgb, int16_t intensity, float* normal,
                   uint8_t classification) {
        const WriterLibrary& writer = writerLibrary();
        if (pointsFilter_ && !pointsFilter_(xyz, rgb, intensity, normal, classification)) {
            writer.addNullPoint();
            return false;
        }
        writer.addPoint(xyz, rgb, intensity, normal, classification);
        return true;
    }

protected:
    ~FileTypeHandler() = default;

private:
    WideString description_;
    WideString extension_;
    PointsFilterCallback pointsFilter_ = nullptr;
};

// True when extension equals exactly one of the two forms (case as given, whole string).
bool extensionIsOneOf(const WideString& extension, const WideChar* lower, const WideChar* upper);

}  // namespace ks_formats
