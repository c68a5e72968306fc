#pragma once

// Writing project files: XML listing scan positions with their scans and registration matrices,
// laid out as the scanner's own software writes them (a DOCTYPE naming a DTD beside the file,
// which is not written). Errors throw std::runtime_error.

#include <array>
#include <filesystem>
#include <string>
#include <vector>

namespace ks_sampledata {

// 16 numbers, row by row, translation in the last column.
using RspMatrix = std::array<double, 16>;
RspMatrix rspIdentity();
RspMatrix rspTranslation(double x, double y, double z);
// Rotation about the vertical axis by degrees, then the translation.
RspMatrix rspPlacement(double degrees, double x, double y, double z);
// Rotation about the x axis by degrees (a scanner standing slightly out of level).
RspMatrix rspTilt(double degrees);
// a × b: applying the result applies b first, then a.
RspMatrix rspMultiply(const RspMatrix& a, const RspMatrix& b);
// The inverse of a rotation followed by a translation.
RspMatrix rspRigidInverse(const RspMatrix& matrix);
// The matrix applied to the point (x, y, z, 1).
std::array<double, 3> rspApply(const RspMatrix& matrix, double x, double y, double z);

struct RspScan {
    std::string kind = "scan";  // "scan", "scan_colored" or "scan_computed"
    std::string file;           // file name inside the position's SINGLESCANS folder
};

struct RspScanPosition {
    std::string name;  // also the position's folder name below SCANS
    RspMatrix sop = rspIdentity();
    std::vector<RspScan> scans;
};

struct RspProject {
    std::string name = "project";
    RspMatrix pop = rspIdentity();
    bool popAfterScanPositions = false;
    std::vector<RspScanPosition> positions;
};

// The text of one matrix element: four rows of four numbers.
std::string rspMatrixText(const RspMatrix& matrix);
std::string rspProjectXml(const RspProject& project);
void writeRspProject(const std::filesystem::path& path, const RspProject& project);

}  // namespace ks_sampledata
