#pragma once

#include "handlers/handler_rxp.h"

// Scans of a project's point database: an import name ending in .rdb stands for the folder
// project.rdb/SCANS/<position>/SINGLESCANS/<scan>/ beside the project's SCANS folder, which holds
// the scan's positions ("P3D.rds") and colours ("P3D-RGB.rds").
class _RDBHandler : public _RXPHandler {
public:
    _RDBHandler() = default;

    ks_formats::FormatID getFormatID() override { return ks_formats::FormatRieglRDB; }
    bool acceptsExtension(const ks_formats::WideString& extension) override;
    bool import(ks_formats::ImportBatch* batch, ks_formats::ScanInfo* scan) override;

    // Finds the two data files of the scan named name and imports them; false when the name
    // does not lead to a data folder.
    bool locateRdbData(ks_formats::ImportBatch* batch, const ks_formats::WideChar* name,
                       const ks_formats::WideChar* cloudName);
    // Streams one scan from its data files as one cloud. importName names the per-scan output.
    // True when every record was read and the import was not cancelled.
    bool importRdbScan(ks_formats::ImportBatch* batch, const ks_formats::WideChar* importName,
                       const ks_formats::WideString& positionsPath,
                       const ks_formats::WideString& coloursPath,
                       const ks_formats::WideChar* cloudName);

protected:
    ~_RDBHandler() = default;
};

// The data folder of a scan name, with a trailing "/": "project.rdb/" inserted before the first
// "SCANS" and the extension replaced by "/". Empty when the name holds no ".rdb", ".rxp" or
// ".3dd" (either case) or no "SCANS".
ks_formats::WideString rdbDataFolder(const ks_formats::WideString& name);
