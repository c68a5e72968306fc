#include "e57_scene_xml.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <random>

#include "ks_tools/markup_text.h"

namespace hostkit::e57 {
namespace {

// How far a matrix may be from a rotation for its rounding to be the only difference.
constexpr double kRigidTolerance = 1e-6;

std::array<double, 4> quaternionOf(const double r[3][3]) {
    // The largest of w, x, y, z is taken from the diagonal, the others from the off-diagonal
    // sums and differences, so no division is by a small number.
    std::array<double, 4> q{};
    const double trace = r[0][0] + r[1][1] + r[2][2];
    if (trace > 0) {
        const double s = 2 * std::sqrt(trace + 1);
        q = {s / 4, (r[2][1] - r[1][2]) / s, (r[0][2] - r[2][0]) / s, (r[1][0] - r[0][1]) / s};
    } else if (r[0][0] > r[1][1] && r[0][0] > r[2][2]) {
        const double s = 2 * std::sqrt(1 + r[0][0] - r[1][1] - r[2][2]);
        q = {(r[2][1] - r[1][2]) / s, s / 4, (r[0][1] + r[1][0]) / s, (r[0][2] + r[2][0]) / s};
    } else if (r[1][1] > r[2][2]) {
        const double s = 2 * std::sqrt(1 + r[1][1] - r[0][0] - r[2][2]);
        q = {(r[0][2] - r[2][0]) / s, (r[0][1] + r[1][0]) / s, s / 4, (r[1][2] + r[2][1]) / s};
    } else {
        const double s = 2 * std::sqrt(1 + r[2][2] - r[0][0] - r[1][1]);
        q = {(r[1][0] - r[0][1]) / s, (r[0][2] + r[2][0]) / s, (r[1][2] + r[2][1]) / s, s / 4};
    }
    const double norm = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    const double sign = q[0] < 0 ? -1 : 1;  // the same rotation; w >= 0 by convention
    for (double& v : q) v *= sign / norm;
    return q;
}

std::array<double, 9> rotationOf(const std::array<double, 4>& q) {
    const double w = q[0], x = q[1], y = q[2], z = q[3];
    return {1 - 2 * (y * y + z * z), 2 * (x * y - z * w),     2 * (x * z + y * w),
            2 * (x * y + z * w),     1 - 2 * (x * x + z * z), 2 * (y * z - x * w),
            2 * (x * z - y * w),     2 * (y * z + x * w),     1 - 2 * (x * x + y * y)};
}

bool isRotation(const double r[3][3]) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double dot = 0;
            for (int k = 0; k < 3; ++k) dot += r[k][i] * r[k][j];
            if (std::fabs(dot - (i == j ? 1.0 : 0.0)) > kRigidTolerance) return false;
        }
    const double det = r[0][0] * (r[1][1] * r[2][2] - r[1][2] * r[2][1]) -
                       r[0][1] * (r[1][0] * r[2][2] - r[1][2] * r[2][0]) +
                       r[0][2] * (r[1][0] * r[2][1] - r[1][1] * r[2][0]);
    return det > 0;
}

// Shortest text that reads back as the same double.
std::string number(double value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

// Names as XML text; XML 1.0 has no control characters but tab and line ends, not even as
// references.
std::string escaped(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') c = ' ';
    return ks_tools::escapeMarkup(text);
}

class XmlText {
public:
    void open(const std::string& name, const std::string& attributes) {
        indent();
        text_ += "<" + name + " " + attributes + ">\n";
        ++depth_;
    }
    void close(const std::string& name) {
        --depth_;
        indent();
        text_ += "</" + name + ">\n";
    }
    void structure(const std::string& name) { open(name, "type=\"Structure\""); }
    void leaf(const std::string& name, const std::string& type, const std::string& value) {
        indent();
        text_ += "<" + name + " type=\"" + type + "\">" + value + "</" + name + ">\n";
    }
    void string(const std::string& name, const std::string& value) {
        leaf(name, "String", escaped(value));
    }
    void floating(const std::string& name, double value) { leaf(name, "Float", number(value)); }
    void integer(const std::string& name, int64_t value) {
        leaf(name, "Integer", std::to_string(value));
    }
    void empty(const std::string& name, const std::string& attributes) {
        indent();
        text_ += "<" + name + " " + attributes + "/>\n";
    }
    const std::string& text() const { return text_; }

private:
    void indent() { text_.append(2 * size_t(depth_), ' '); }
    std::string text_ = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    int depth_ = 0;
};

void writePose(XmlText& xml, const Pose& pose) {
    xml.structure("pose");
    xml.structure("rotation");
    const char* names[] = {"w", "x", "y", "z"};
    for (int i = 0; i < 4; ++i) xml.floating(names[i], pose.quaternion()[i]);
    xml.close("rotation");
    xml.structure("translation");
    for (int i = 0; i < 3; ++i) xml.floating(names[i + 1], pose.translation()[i]);
    xml.close("translation");
    xml.close("pose");
}

void writeBounds(XmlText& xml, const nox::Bounds& bounds) {
    xml.structure("cartesianBounds");
    const char* axes[] = {"x", "y", "z"};
    for (int a = 0; a < 3; ++a) {
        xml.floating(std::string(axes[a]) + "Minimum", bounds.min[a]);
        xml.floating(std::string(axes[a]) + "Maximum", bounds.max[a]);
    }
    xml.close("cartesianBounds");
}

// The limits are those the fields can hold, which is what the standard asks for (the values a
// sensor can produce), not the range that happens to occur: readers scale colours by them.
void writeLimits(XmlText& xml, const std::vector<FieldLayout>& layout) {
    for (const FieldLayout& field : layout) {
        if (field.source == FieldSource::Intensity) {
            xml.structure("intensityLimits");
            xml.integer("intensityMinimum", field.minimum);
            xml.integer("intensityMaximum", field.maximum);
            xml.close("intensityLimits");
        }
    }
    bool colour = false;
    for (const FieldLayout& field : layout) colour |= field.source == FieldSource::Red;
    if (!colour) return;
    xml.structure("colorLimits");
    for (const FieldLayout& field : layout) {
        if (field.source < FieldSource::Red) continue;
        xml.integer(field.name + "Minimum", field.minimum);
        xml.integer(field.name + "Maximum", field.maximum);
    }
    xml.close("colorLimits");
}

void writePoints(XmlText& xml, const ScanEntry& scan, const std::vector<FieldLayout>& layout) {
    xml.open("points", "type=\"CompressedVector\" fileOffset=\"" + std::to_string(scan.fileOffset) +
                           "\" recordCount=\"" + std::to_string(scan.records) + "\"");
    xml.structure("prototype");
    for (const FieldLayout& field : layout) {
        if (field.isDouble)
            xml.empty(field.name, "type=\"Float\" precision=\"double\"");
        else
            xml.empty(field.name, "type=\"Integer\" minimum=\"" + std::to_string(field.minimum) +
                                      "\" maximum=\"" + std::to_string(field.maximum) + "\"");
    }
    xml.close("prototype");
    xml.empty("codecs", "type=\"Vector\" allowHeterogeneousChildren=\"1\"");
    xml.close("points");
}

}  // namespace

std::optional<Pose> Pose::fromMatrix(const std::array<double, 16>& m) {
    if (m[12] != 0 || m[13] != 0 || m[14] != 0 || m[15] != 1) return std::nullopt;
    double r[3][3];
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column) r[row][column] = m[4 * row + column];
    if (!isRotation(r)) return std::nullopt;
    Pose pose;
    pose.quaternion_ = quaternionOf(r);
    pose.rotation_ = rotationOf(pose.quaternion_);
    pose.translation_ = {m[3], m[7], m[11]};
    return pose;
}

void Pose::toLocal(const double world[3], double local[3]) const {
    // The points are turned back with the quaternion's own rotation, so that a reader applying
    // the pose gets the world coordinates back to within rounding, however close the matrix
    // was to a rotation.
    const double d[3] = {world[0] - translation_[0], world[1] - translation_[1],
                         world[2] - translation_[2]};
    for (int c = 0; c < 3; ++c)
        local[c] = rotation_[c] * d[0] + rotation_[3 + c] * d[1] + rotation_[6 + c] * d[2];
}

std::string newGuid() {
    std::random_device entropy;
    std::mt19937_64 random((uint64_t(entropy()) << 32) ^ entropy());
    const uint64_t high = random(), low = random();
    char text[40];
    // Version 4 (random) and the RFC 4122 variant.
    std::snprintf(text, sizeof text, "{%08x-%04x-4%03x-%04x-%012llx}", unsigned(high >> 32),
                  unsigned(high >> 16) & 0xFFFF, unsigned(high) & 0x0FFF,
                  (unsigned(low >> 48) & 0x3FFF) | 0x8000,
                  static_cast<unsigned long long>(low & 0xFFFFFFFFFFFFull));
    return text;
}

std::string sceneXml(const std::string& fileGuid, const std::vector<ScanEntry>& scans) {
    XmlText xml;
    xml.open("e57Root",
             "type=\"Structure\" xmlns=\"http://www.astm.org/COMMIT/E57/2010-e57-v1.0\"");
    xml.string("formatName", "ASTM E57 3D Imaging Data File");
    xml.string("guid", fileGuid);
    xml.integer("versionMajor", 1);
    xml.integer("versionMinor", 0);
    xml.open("data3D", "type=\"Vector\" allowHeterogeneousChildren=\"1\"");
    for (const ScanEntry& scan : scans) {
        const std::vector<FieldLayout> layout = fieldLayouts(scan.fields);
        xml.structure("vectorChild");
        xml.string("guid", scan.guid);
        xml.string("name", scan.name);
        writePose(xml, scan.pose);
        if (!scan.bounds.empty()) writeBounds(xml, scan.bounds);
        writeLimits(xml, layout);
        writePoints(xml, scan, layout);
        xml.close("vectorChild");
    }
    xml.close("data3D");
    xml.empty("images2D", "type=\"Vector\" allowHeterogeneousChildren=\"1\"");
    xml.close("e57Root");
    return xml.text();
}

}  // namespace hostkit::e57
