#include "support/e57_reader.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

namespace ks_test {
namespace {

constexpr uint64_t kPage = 1024;
constexpr uint64_t kPayload = 1020;
constexpr const char* kNamespace = "http://www.astm.org/COMMIT/E57/2010-e57-v1.0";

template <typename T>
T littleEndian(const uint8_t* bytes) {
    uint64_t value = 0;
    for (size_t i = 0; i < sizeof(T); ++i) value |= uint64_t(bytes[i]) << (8 * i);
    return static_cast<T>(value);
}

class Reader {
public:
    explicit Reader(E57File& file) : file_(file) {}

    void fault(const std::string& text) { file_.faults.push_back(text); }

    // The file's logical bytes: each page without its checksum.
    void readPages(const std::vector<uint8_t>& bytes) {
        if (bytes.size() < 48) return fault("shorter than the 48-byte file header");
        const uint8_t* header = bytes.data();
        if (std::memcmp(header, "ASTM-E57", 8) != 0) fault("the signature is not ASTM-E57");
        file_.major = littleEndian<uint32_t>(header + 8);
        file_.minor = littleEndian<uint32_t>(header + 12);
        file_.physicalLength = littleEndian<uint64_t>(header + 16);
        file_.xmlOffset = littleEndian<uint64_t>(header + 24);
        file_.xmlLength = littleEndian<uint64_t>(header + 32);
        file_.pageSize = littleEndian<uint64_t>(header + 40);
        if (file_.pageSize != kPage)
            fault("page size " + std::to_string(file_.pageSize) + ", not 1024");
        if (file_.physicalLength != bytes.size())
            fault("the header gives a length of " + std::to_string(file_.physicalLength) +
                  " bytes, the file has " + std::to_string(bytes.size()));
        if (bytes.size() % kPage != 0) fault("the file is not a whole number of pages");
        file_.pages = bytes.size() / kPage;
        for (uint64_t page = 0; page < file_.pages; ++page) {
            const uint8_t* p = bytes.data() + page * kPage;
            const uint32_t stored = uint32_t(p[kPayload]) << 24 | uint32_t(p[kPayload + 1]) << 16 |
                                    uint32_t(p[kPayload + 2]) << 8 | p[kPayload + 3];
            if (stored != e57Crc32c(p, kPayload))
                fault("page " + std::to_string(page) + ": the checksum does not match");
            logical_.insert(logical_.end(), p, p + kPayload);
        }
    }

    // Logical offset of a physical one; faults when it points into a checksum.
    std::optional<uint64_t> logicalOf(uint64_t physical, const std::string& what) {
        if (physical % kPage >= kPayload) {
            fault(what + " points into a page's checksum");
            return std::nullopt;
        }
        return physical / kPage * kPayload + physical % kPage;
    }

    const uint8_t* logicalBytes(uint64_t offset, uint64_t size, const std::string& what) {
        if (offset > logical_.size() || size > logical_.size() - offset) {
            fault(what + " lies beyond the end of the file");
            return nullptr;
        }
        return logical_.data() + offset;
    }

    void readXml() {
        const std::optional<uint64_t> at = logicalOf(file_.xmlOffset, "the XML offset");
        if (!at) return;
        const uint8_t* text = logicalBytes(*at, file_.xmlLength, "the XML section");
        if (!text) return;
        std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> doc(
            xmlReadMemory(reinterpret_cast<const char*>(text), int(file_.xmlLength), "e57.xml",
                          nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
            xmlFreeDoc);
        if (!doc) return fault("the XML section does not parse");
        readRoot(xmlDocGetRootElement(doc.get()));
    }

private:
    static std::string name(xmlNodePtr node) { return reinterpret_cast<const char*>(node->name); }

    static std::string attribute(xmlNodePtr node, const char* key) {
        xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(key));
        if (!value) return {};
        std::string text = reinterpret_cast<const char*>(value);
        xmlFree(value);
        return text;
    }

    static std::string content(xmlNodePtr node) {
        xmlChar* value = xmlNodeGetContent(node);
        std::string text = value ? reinterpret_cast<const char*>(value) : "";
        xmlFree(value);
        return text;
    }

    static std::vector<xmlNodePtr> elements(xmlNodePtr node) {
        std::vector<xmlNodePtr> children;
        for (xmlNodePtr child = node->children; child; child = child->next)
            if (child->type == XML_ELEMENT_NODE) children.push_back(child);
        return children;
    }

    // The child of that name, which must have that type.
    xmlNodePtr child(xmlNodePtr node, const std::string& key, const std::string& type,
                     bool required = true) {
        for (xmlNodePtr element : elements(node)) {
            if (name(element) != key) continue;
            if (attribute(element, "type") != type)
                fault(name(node) + "/" + key + " has type \"" + attribute(element, "type") +
                      "\", not " + type);
            return element;
        }
        if (required) fault(name(node) + " has no " + key);
        return nullptr;
    }

    double floating(xmlNodePtr node, const std::string& key) {
        xmlNodePtr element = child(node, key, "Float");
        if (!element) return NAN;
        const std::string text = content(element);
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != 0) fault(key + " is not a number: \"" + text + "\"");
        return value;
    }

    int64_t integer(xmlNodePtr node, const std::string& key) {
        xmlNodePtr element = child(node, key, "Integer");
        if (!element) return 0;
        return std::stoll(content(element));
    }

    std::string string(xmlNodePtr node, const std::string& key) {
        xmlNodePtr element = child(node, key, "String");
        return element ? content(element) : std::string();
    }

    void readRoot(xmlNodePtr root) {
        if (name(root) != "e57Root") fault("the root element is " + name(root));
        if (!root->ns || std::strcmp(reinterpret_cast<const char*>(root->ns->href), kNamespace))
            fault("the root is not in the E57 namespace");
        if (attribute(root, "type") != "Structure") fault("e57Root is not a Structure");
        for (xmlNodePtr element : elements(root)) file_.rootChildren.push_back(name(element));
        file_.formatName = string(root, "formatName");
        file_.guid = string(root, "guid");
        if (integer(root, "versionMajor") != 1) fault("versionMajor is not 1");
        if (integer(root, "versionMinor") != 0) fault("versionMinor is not 0");
        if (xmlNodePtr images = child(root, "images2D", "Vector"))
            file_.images = elements(images).size();
        if (xmlNodePtr data = child(root, "data3D", "Vector"))
            for (xmlNodePtr scan : elements(data)) readScan(scan);
    }

    void readScan(xmlNodePtr node) {
        if (name(node) != "vectorChild" || attribute(node, "type") != "Structure")
            fault("a data3D child is not a vectorChild Structure");
        E57Scan scan;
        scan.guid = string(node, "guid");
        scan.name = string(node, "name");
        if (xmlNodePtr pose = child(node, "pose", "Structure")) {
            if (xmlNodePtr rotation = child(pose, "rotation", "Structure"))
                scan.rotation = {floating(rotation, "w"), floating(rotation, "x"),
                                 floating(rotation, "y"), floating(rotation, "z")};
            if (xmlNodePtr translation = child(pose, "translation", "Structure"))
                scan.translation = {floating(translation, "x"), floating(translation, "y"),
                                    floating(translation, "z")};
        }
        if (xmlNodePtr bounds = child(node, "cartesianBounds", "Structure", false))
            scan.bounds = {floating(bounds, "xMinimum"), floating(bounds, "xMaximum"),
                           floating(bounds, "yMinimum"), floating(bounds, "yMaximum"),
                           floating(bounds, "zMinimum"), floating(bounds, "zMaximum")};
        for (const char* group : {"intensityLimits", "colorLimits"})
            if (xmlNodePtr limits = child(node, group, "Structure", false))
                for (xmlNodePtr limit : elements(limits))
                    scan.limits[name(limit)] = std::stod(content(limit));
        if (xmlNodePtr points = child(node, "points", "CompressedVector")) {
            scan.fileOffset = std::stoull("0" + attribute(points, "fileOffset"));
            scan.recordCount = std::stoull("0" + attribute(points, "recordCount"));
            if (xmlNodePtr prototype = child(points, "prototype", "Structure"))
                for (xmlNodePtr field : elements(prototype))
                    scan.prototype.push_back(fieldOf(field));
            child(points, "codecs", "Vector");
            readSection(scan);
        }
        file_.scans.push_back(std::move(scan));
    }

    E57Field fieldOf(xmlNodePtr node) {
        E57Field field;
        field.name = name(node);
        field.type = attribute(node, "type");
        field.precision = attribute(node, "precision");
        if (field.type == "Float" && field.precision.empty()) field.precision = "double";
        if (field.type == "Integer" || field.type == "ScaledInteger") {
            field.minimum = std::stoll(attribute(node, "minimum"));
            field.maximum = std::stoll(attribute(node, "maximum"));
        }
        if (field.type == "ScaledInteger") {
            const std::string scale = attribute(node, "scale"), offset = attribute(node, "offset");
            if (!scale.empty()) field.scale = std::stod(scale);
            if (!offset.empty()) field.offset = std::stod(offset);
        }
        if (field.type != "Float" && field.type != "Integer" && field.type != "ScaledInteger")
            fault("field " + field.name + " has type " + field.type);
        return field;
    }

    static unsigned bitsOf(const E57Field& field) {
        if (field.type == "Float") return field.precision == "single" ? 32 : 64;
        const uint64_t span = uint64_t(field.maximum - field.minimum);
        unsigned bits = 0;
        while (bits < 64 && (span >> bits) != 0) ++bits;
        return bits;
    }

    // The field's records packed least significant bit first; as many whole ones as there are.
    static void unpack(const E57Field& field, const std::vector<uint8_t>& stream,
                       std::vector<double>& out, uint64_t want) {
        const unsigned bits = bitsOf(field);
        const uint64_t available = bits == 0 ? want : stream.size() * 8 / bits;
        for (uint64_t i = out.size(); i < std::min(available, want); ++i) {
            uint64_t raw = 0;
            for (unsigned b = 0; b < bits; ++b) {
                const uint64_t bit = i * bits + b;
                raw |= uint64_t((stream[bit / 8] >> (bit % 8)) & 1) << b;
            }
            if (field.type == "Float" && bits == 64) {
                double value;
                std::memcpy(&value, &raw, sizeof value);
                out.push_back(value);
            } else if (field.type == "Float") {
                const uint32_t narrow = uint32_t(raw);
                float value;
                std::memcpy(&value, &narrow, sizeof value);
                out.push_back(value);
            } else {
                const double integer = double(int64_t(raw) + field.minimum);
                out.push_back(field.type == "Integer" ? integer
                                                      : integer * field.scale + field.offset);
            }
        }
    }

    void readSection(E57Scan& scan) {
        const std::string what = "scan \"" + scan.name + "\": ";
        const std::optional<uint64_t> start = logicalOf(scan.fileOffset, what + "the section");
        if (!start) return;
        const uint8_t* header = logicalBytes(*start, 32, what + "the section header");
        if (!header) return;
        if (header[0] != 1) fault(what + "the section is not a compressed vector");
        for (int i = 1; i < 8; ++i)
            if (header[i] != 0) fault(what + "the section header's reserved bytes are not zero");
        const uint64_t length = littleEndian<uint64_t>(header + 8);
        const uint64_t end = *start + length;
        const std::optional<uint64_t> data =
            logicalOf(littleEndian<uint64_t>(header + 16), what + "the data offset");
        if (!data) return;
        if (*data < *start + 32 || *data >= end)
            fault(what + "the first data packet lies outside the section");

        std::vector<std::vector<uint8_t>> streams(scan.prototype.size());
        std::vector<std::vector<double>> values(scan.prototype.size());
        auto complete = [&] {
            for (const std::vector<double>& field : values)
                if (field.size() < scan.recordCount) return false;
            return true;
        };
        uint64_t at = *data;
        while (!complete()) {
            if (at + 6 > end) return fault(what + "the section ends before its records");
            const uint8_t* packet = logicalBytes(at, 6, what + "a packet");
            if (!packet) return;
            const uint64_t size = uint64_t(littleEndian<uint16_t>(packet + 2)) + 1;
            if (size % 4 != 0) fault(what + "a packet's length is not a multiple of 4");
            if (at + size > end) return fault(what + "a packet runs past the section");
            packet = logicalBytes(at, size, what + "a packet");
            if (!packet) return;
            at += size;
            if (packet[0] != 1) continue;  // index and empty packets carry no records
            ++scan.packets;
            const uint16_t count = littleEndian<uint16_t>(packet + 4);
            if (count != streams.size())
                return fault(what + "a packet has " + std::to_string(count) + " bytestreams for " +
                             std::to_string(streams.size()) + " fields");
            uint64_t offset = 6 + 2 * uint64_t(count);
            for (size_t f = 0; f < streams.size(); ++f) {
                const uint16_t bytes = littleEndian<uint16_t>(packet + 6 + 2 * f);
                if (offset + bytes > size) return fault(what + "a bytestream runs past its packet");
                streams[f].insert(streams[f].end(), packet + offset, packet + offset + bytes);
                offset += bytes;
            }
            for (size_t f = 0; f < streams.size(); ++f)
                unpack(scan.prototype[f], streams[f], values[f], scan.recordCount);
        }
        for (size_t f = 0; f < streams.size(); ++f)
            scan.values[scan.prototype[f].name] = std::move(values[f]);
    }

    E57File& file_;
    std::vector<uint8_t> logical_;
};

}  // namespace

uint32_t e57Crc32c(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0x82F63B78u : crc >> 1;
    }
    return ~crc;
}

std::array<double, 9> E57Scan::rotationMatrix() const {
    const double w = rotation[0], x = rotation[1], y = rotation[2], z = rotation[3];
    return {w * w + x * x - y * y - z * z, 2 * (x * y - w * z),
            2 * (x * z + w * y),           2 * (x * y + w * z),
            w * w - x * x + y * y - z * z, 2 * (y * z - w * x),
            2 * (x * z - w * y),           2 * (y * z + w * x),
            w * w - x * x - y * y + z * z};
}

std::array<double, 3> E57Scan::world(size_t i) const {
    const std::array<double, 9> r = rotationMatrix();
    const double p[3] = {values.at("cartesianX")[i], values.at("cartesianY")[i],
                         values.at("cartesianZ")[i]};
    std::array<double, 3> out{};
    for (int row = 0; row < 3; ++row)
        out[row] =
            r[3 * row] * p[0] + r[3 * row + 1] * p[1] + r[3 * row + 2] * p[2] + translation[row];
    return out;
}

E57File readE57(const std::filesystem::path& path) {
    E57File file;
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>()};
    Reader reader(file);
    reader.readPages(bytes);
    if (file.faults.empty()) reader.readXml();
    return file;
}

}  // namespace ks_test
