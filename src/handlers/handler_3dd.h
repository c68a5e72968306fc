#pragma once

#include "handlers/file_type_handler.h"

// Grid scans (.3dd) read through the 3DD reader component. Also the base of the other scanner
// handlers, which share its description, extension and scan matrix.
class _3DDHandler : public ks_formats::FileTypeHandler {
public:
    _3DDHandler();

    ks_formats::FormatID getFormatID() override { return ks_formats::FormatRiegl3DD; }
    bool acceptsExtension(const ks_formats::WideString& extension) override;
    bool import(ks_formats::ImportBatch* batch, ks_formats::ScanInfo* scan) override;

    // Copies the scan's registration matrix for the cloud of the next import.
    bool setScanMatrix(const ks_formats::ScanInfo* scan);
    const ks_formats::Matrix4d& scanMatrix() const { return scanMatrix_; }

    // Reads the grid of one scan through the reader component and writes it as one cloud of
    // rows x columns cells, empty cells as null points. False when the reader cannot deliver
    // the scan (nothing reported) or on a cancel (reported).
    bool import3DD(ks_formats::ImportBatch* batch, const ks_formats::WideChar* path,
                   const ks_formats::WideChar* cloudName);

protected:
    // The start every scanner import shares: a batch and a scan to import, the scan's matrix
    // taken for the cloud, and a name that fits a path buffer (an overlong one is reported, see
    // pathFitsOrReport). False when the import ends here.
    bool beginScan(ks_formats::ImportBatch* batch, const ks_formats::ScanInfo* scan);

    // The handler classes keep the fixed slot layout of their interface, which has no virtual
    // destructor; only the library's own final instances are ever destroyed.
    ~_3DDHandler() = default;

    ks_formats::Matrix4d scanMatrix_;
};
