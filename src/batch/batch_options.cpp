#include "ks_formats/batch_options.h"

namespace ks_formats {

GenericAsciiOpt::GenericAsciiOpt() { reset(); }

GenericAsciiOpt::~GenericAsciiOpt() = default;

void GenericAsciiOpt::reset() {
    for (int& column : columns) column = kUnsetColumn;
    intensityHigh = 1.0f;
    intensityLow = 0.0f;
    rgbHigh = 255.0f;
    rgbLow = 0.0f;
}

void GenericAsciiOpt::setXYZColumns(int c) {
    columns[ColumnX] = c;
    columns[ColumnY] = c + 1;
    columns[ColumnZ] = c + 2;
}

void GenericAsciiOpt::setXColumn(int c) { columns[ColumnX] = c; }
void GenericAsciiOpt::setYColumn(int c) { columns[ColumnY] = c; }
void GenericAsciiOpt::setZColumn(int c) { columns[ColumnZ] = c; }

void GenericAsciiOpt::setNormalXColumns(int c) {
    columns[ColumnNormalX] = c;
    columns[ColumnNormalY] = c + 1;
    columns[ColumnNormalZ] = c + 2;
}

void GenericAsciiOpt::setIntensityColumn(int c, float low, float high) {
    columns[ColumnIntensity] = c;
    intensityLow = low;
    intensityHigh = high;
}

void GenericAsciiOpt::setRGBColumns(int c, float low, float high) {
    columns[ColumnRed] = c;
    columns[ColumnGreen] = c + 1;
    columns[ColumnBlue] = c + 2;
    rgbLow = low;
    rgbHigh = high;
}

void GenericAsciiOpt::setClassificationColumn(int c) { columns[ColumnClassification] = c; }

RSPOpt::RSPOpt() { reset(); }

void RSPOpt::reset() {
    dataSource = DataSourceRdb;
    intensitySource = IntensityReflectance;
    reflectanceScale = 500.0;
}

}  // namespace ks_formats
