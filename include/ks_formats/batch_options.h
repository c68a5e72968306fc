#pragma once

#include "ks_formats/export.h"

namespace ks_formats {

// Column layout of a generic text point file. Stored for the host; the library never reads it.
class KS_API GenericAsciiOpt {
public:
    enum Column {
        ColumnX = 0,
        ColumnY,
        ColumnZ,
        ColumnNormalX,
        ColumnNormalY,
        ColumnNormalZ,
        ColumnIntensity,
        ColumnRed,
        ColumnGreen,
        ColumnBlue,
        ColumnClassification,
    };
    static constexpr int kNumColumns = 16;
    static constexpr int kUnsetColumn = 500;

    GenericAsciiOpt();
    ~GenericAsciiOpt();
    GenericAsciiOpt(const GenericAsciiOpt&) = default;
    GenericAsciiOpt& operator=(const GenericAsciiOpt&) = default;

    void reset();
    void setXYZColumns(int c);
    void setXColumn(int c);
    void setYColumn(int c);
    void setZColumn(int c);
    void setNormalXColumns(int c);
    void setIntensityColumn(int c, float low, float high);
    void setRGBColumns(int c, float low, float high);
    void setClassificationColumn(int c);

    int columns[kNumColumns];
    float intensityHigh;
    float intensityLow;
    float rgbHigh;
    float rgbLow;
};

// Options of RSP project import.
class KS_API RSPOpt {
public:
    enum RSPDataSource { DataSourceRdb = 0, DataSourceScanFile = 1 };
    enum RSPIntensitySource { IntensityReflectance = 0, IntensityAmplitude = 1 };

    RSPOpt();
    RSPOpt(const RSPOpt&) = default;
    RSPOpt& operator=(const RSPOpt&) = default;

    void reset();
    void setDataSource(RSPDataSource source) { dataSource = source; }
    RSPDataSource getDataSource() { return dataSource; }
    void setIntensitySource(RSPIntensitySource source) { intensitySource = source; }
    RSPIntensitySource getIntensitySource() { return intensitySource; }
    void setReflectanceScale(double scale) { reflectanceScale = scale; }
    double getReflectanceScale() { return reflectanceScale; }

private:
    RSPDataSource dataSource;
    RSPIntensitySource intensitySource;
    double reflectanceScale;
};

}  // namespace ks_formats
