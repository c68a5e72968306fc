#include "ks_sampledata/rsp_project.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <numbers>
#include <stdexcept>

#include "ks_tools/markup_text.h"
#include "ks_tools/utf8_path.h"

namespace ks_sampledata {

namespace {

std::string element(const std::string& name, const std::string& text) {
    return "<" + name + ">" + ks_tools::escapeMarkup(text) + "</" + name + ">";
}

std::string matrixElement(const char* owner, const RspMatrix& matrix, const char* indent) {
    return std::string(indent) + "<" + owner + ">\n" + indent + "  <matrix>" +
           rspMatrixText(matrix) + "</matrix>\n" + indent + "</" + owner + ">\n";
}

}  // namespace

RspMatrix rspIdentity() { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }

RspMatrix rspTranslation(double x, double y, double z) { return rspPlacement(0, x, y, z); }

RspMatrix rspPlacement(double degrees, double x, double y, double z) {
    const double a = degrees * std::numbers::pi / 180.0;
    const double c = degrees == 0 ? 1.0 : std::cos(a);
    const double s = degrees == 0 ? 0.0 : std::sin(a);
    return {c, 0.0 - s, 0, x, s, c, 0, y, 0, 0, 1, z, 0, 0, 0, 1};
}

RspMatrix rspTilt(double degrees) {
    const double a = degrees * std::numbers::pi / 180.0;
    const double c = std::cos(a);
    const double s = std::sin(a);
    return {1, 0, 0, 0, 0, c, 0.0 - s, 0, 0, s, c, 0, 0, 0, 0, 1};
}

RspMatrix rspMultiply(const RspMatrix& a, const RspMatrix& b) {
    RspMatrix product{};
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            for (int k = 0; k < 4; ++k)
                product[4 * row + column] += a[4 * row + k] * b[4 * k + column];
    return product;
}

RspMatrix rspRigidInverse(const RspMatrix& m) {
    // The rotation's inverse is its transpose; the translation is turned back through it.
    RspMatrix inverse = rspIdentity();
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column) inverse[4 * row + column] = m[4 * column + row];
    for (int row = 0; row < 3; ++row)
        inverse[4 * row + 3] =
            -(inverse[4 * row] * m[3] + inverse[4 * row + 1] * m[7] + inverse[4 * row + 2] * m[11]);
    return inverse;
}

std::array<double, 3> rspApply(const RspMatrix& m, double x, double y, double z) {
    return {m[0] * x + m[1] * y + m[2] * z + m[3], m[4] * x + m[5] * y + m[6] * z + m[7],
            m[8] * x + m[9] * y + m[10] * z + m[11]};
}

std::string rspMatrixText(const RspMatrix& matrix) {
    std::string text;
    for (int i = 0; i < 16; ++i) {
        char number[32];
        const auto end = std::to_chars(number, number + sizeof number, matrix[i]).ptr;
        text.append(number, end);
        text += i == 15 ? "" : i % 4 == 3 ? "\n" : " ";
    }
    return text;
}

std::string rspProjectXml(const RspProject& project) {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE document SYSTEM \"rspproject.dtd\">\n"
        "<document>\n  " +
        element("name", project.name) + "\n";
    const std::string pop = matrixElement("pop", project.pop, "  ");
    if (!project.popAfterScanPositions) xml += pop;
    xml += "  <scanpositions>\n";
    for (const RspScanPosition& position : project.positions) {
        xml += "    <scanposition>\n      " + element("name", position.name) +
               "\n      <singlescans>\n";
        for (const RspScan& scan : position.scans)
            xml +=
                "        <" + scan.kind + ">" +
                element("name", ks_tools::utf8FromPath(ks_tools::pathFromUtf8(scan.file).stem())) +
                element("file", scan.file) + "</" + scan.kind + ">\n";
        xml += "      </singlescans>\n" + matrixElement("sop", position.sop, "      ") +
               "    </scanposition>\n";
    }
    xml += "  </scanpositions>\n";
    if (project.popAfterScanPositions) xml += pop;
    return xml + "</document>\n";
}

void writeRspProject(const std::filesystem::path& path, const RspProject& project) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << rspProjectXml(project);
    out.close();
    if (!out) throw std::runtime_error("cannot write " + ks_tools::utf8FromPath(path));
}

}  // namespace ks_sampledata
