#include "handlers/rsp_project.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>

#include "ks_common/text_encoding.h"
#include "platform/input_file.h"
#include "platform/paths.h"

namespace ks_formats {

namespace {

struct DocumentDeleter {
    void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};
using Document = std::unique_ptr<xmlDoc, DocumentDeleter>;

struct ParserDeleter {
    void operator()(xmlParserCtxt* parser) const { xmlFreeParserCtxt(parser); }
};
using Parser = std::unique_ptr<xmlParserCtxt, ParserDeleter>;

// A complaint of the parser with its line: "line 12: Opening and ending tag mismatch: ...".
std::string describe(const xmlError* error) {
    if (!error || error->code == XML_ERR_OK || !error->message) return "not a well-formed XML file";
    std::string message = error->message;
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    return error->line > 0 ? "line " + std::to_string(error->line) + ": " + message : message;
}

// Keeps the parser's first complaint, which names the fault; later ones follow from it. The
// parser hands its own context as the callback's data; _private points at the text to fill.
void keepFirstComplaint(void* data, xmlErrorPtr error) {
    auto* parser = static_cast<xmlParserCtxt*>(data);
    auto* first = parser ? static_cast<std::string*>(parser->_private) : nullptr;
    if (first && first->empty()) *first = describe(error);
}

bool named(const xmlNode* node, const char* name) {
    return node->type == XML_ELEMENT_NODE &&
           std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

// The text of an element: the content of its first child; empty when it has none.
std::string_view elementText(const xmlNode* element) {
    const xmlNode* child = element->children;
    if (!child || !child->content) return {};
    return reinterpret_cast<const char*>(child->content);
}

// The children of parent with the given name, in document order.
template <typename Visit>
void forEachChild(const xmlNode* parent, const char* name, Visit visit) {
    for (const xmlNode* child = parent->children; child; child = child->next)
        if (named(child, name)) visit(child);
}

std::string boundedName(std::string_view text) {
    size_t length = std::min(text.size(), ScanPosition::kMaxNameBytes);
    // Step back over continuation bytes so that no character is cut in two.
    if (length < text.size())
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
    return std::string(text.substr(0, length));
}

void readMatrixElements(const xmlNode* parent, Matrix4d& matrix) {
    forEachChild(parent, "matrix",
                 [&](const xmlNode* element) { parseMatrixText(elementText(element), matrix); });
}

void readScan(const xmlNode* element, ScanPosition& position) {
    ProjectScan& scan = position.scans.emplace_back();
    forEachChild(element, "file", [&](const xmlNode* file) {
        scan.file = ks_common::decodeLenientUtf8(elementText(file));
    });
}

void readScanPosition(const xmlNode* element, const Matrix4d& pop, ScanPosition& position) {
    bool sopRead = false;
    for (const xmlNode* child = element->children; child; child = child->next) {
        if (named(child, "name")) {
            position.name = boundedName(elementText(child));
        } else if (named(child, "singlescans")) {
            for (const xmlNode* scan = child->children; scan; scan = scan->next)
                if (named(scan, "scan_colored") || named(scan, "scan") ||
                    named(scan, "scan_computed"))
                    readScan(scan, position);
        } else if (named(child, "sop")) {
            forEachChild(child, "matrix", [&](const xmlNode* matrix) {
                Matrix4d sop = position.registration;
                parseMatrixText(elementText(matrix), sop);
                position.registration = multiply(pop, sop);
                sopRead = true;
            });
        }
    }
    // A position without a registration of its own sits where the project does.
    if (!sopRead) position.registration = pop;
}

}  // namespace

Matrix4d multiply(const Matrix4d& a, const Matrix4d& b) {
    Matrix4d product{};
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column) {
            double sum = 0;
            for (int k = 0; k < 4; ++k) sum += a(row, k) * b(k, column);
            product(row, column) = sum;
        }
    return product;
}

int parseMatrixText(std::string_view text, Matrix4d& matrix) {
    static constexpr std::string_view kSeparators = " \t\n";
    int count = 0;
    size_t start = text.find_first_not_of(kSeparators);
    while (start != std::string_view::npos && count < 16) {
        const size_t end = std::min(text.find_first_of(kSeparators, start), text.size());
        std::string_view piece = text.substr(start, end - start);
        if (piece.size() > 1 && piece[0] == '+' && piece[1] != '-') piece.remove_prefix(1);
        double value = 0;
        const auto parsed = std::from_chars(piece.data(), piece.data() + piece.size(), value);
        if (parsed.ec != std::errc() || !std::isfinite(value)) value = 0;
        matrix.m[count++] = value;
        start = text.find_first_not_of(kSeparators, end);
    }
    return count;
}

bool readProject(const std::string& path, ProjectContents& project, std::string* error) {
    const auto failWith = [&](std::string why) {
        if (error) *error = path + ": " + why;
        return false;
    };
    xmlCheckVersion(20902);
    // The parser would open a named pipe and wait for a writer forever; and it says little about
    // a file that is missing.
    if (std::string why = platform::describeNonRegularFile(path); !why.empty()) {
        if (error) *error = std::move(why);
        return false;
    }
    if (platform::InputFile file = platform::InputFile::open(path); !file.isOpen()) {
        if (error) *error = file.error();
        return false;
    }
    // No network access, no loading of the DTD the DOCTYPE names (it is often missing), and
    // entities are left as references rather than substituted, so a project file can neither
    // reach out nor blow up into its expansion. The parser's own messages would land on the
    // host's standard error, so they are silenced and taken from its context instead.
    Parser parser(xmlNewParserCtxt());
    if (!parser || !parser->sax) return failWith("out of memory for the XML parser");
    std::string firstComplaint;
    parser->_private = &firstComplaint;
    parser->sax->serror = keepFirstComplaint;
    Document document(xmlCtxtReadFile(parser.get(), path.c_str(), nullptr,
                                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    if (!document)
        return failWith("not a project file: " +
                        (firstComplaint.empty() ? describe(&parser->lastError) : firstComplaint));
    const xmlNode* root = xmlDocGetRootElement(document.get());
    if (!root) return failWith("not a project file: the XML document has no root element");

    ProjectContents read;
    for (const xmlNode* child = root->children; child; child = child->next) {
        if (named(child, "pop")) {
            readMatrixElements(child, read.pop);
        } else if (named(child, "scanpositions")) {
            forEachChild(child, "scanposition", [&](const xmlNode* element) {
                readScanPosition(element, read.pop, read.positions.emplace_back());
            });
        }
    }
    project = std::move(read);
    return true;
}

WideString scanFilePath(const WideString& projectPath, const ScanPosition& position,
                        const ProjectScan& scan) {
    // A project named without a folder has its SCANS folder beside it, in the current folder.
    WideString path = platform::parentFolder(projectPath);
    if (!path.empty() && path.back() != platform::kSeparator) path += platform::kSeparator;
    path += KS_WIDE("SCANS");
    path += platform::kSeparator;
    path += ks_common::decodeLenientUtf8(position.name);
    path += platform::kSeparator;
    path += KS_WIDE("SINGLESCANS");
    path += platform::kSeparator;
    path += scan.file;
    if (path.size() >= static_cast<size_t>(kPathBufferUnits)) return {};
    return path;
}

}  // namespace ks_formats
