#include "ks_sampledata/rsp_project.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <numbers>
#include <stdexcept>

namespace ks_sampledata {

namespace {

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string element(const std::string& name, const std::string& text) {
    return "<" + name + ">" + escaped(text) + "</" + name + ">";
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
        "<document>\n  " + element("name", project.name) + "\n";
    const std::string pop = matrixElement("pop", project.pop, "  ");
    if (!project.popAfterScanPositions) xml += pop;
    xml += "  <scanpositions>\n";
    for (const RspScanPosition& position : project.positions) {
        xml += "    <scanposition>\n      " + element("name", position.name) +
               "\n      <singlescans>\n";
        for (const RspScan& scan : position.scans)
            xml += "        <" + scan.kind + ">" +
                   element("name", std::filesystem::path(scan.file).stem().string()) +
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
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace ks_sampledata
