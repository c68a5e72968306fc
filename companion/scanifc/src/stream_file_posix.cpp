// Stream files on POSIX systems: the narrow path is UTF-8, the system encoding.
#include <cerrno>
#include <string_view>

#include "stream_file.h"

namespace scanifc_files {
namespace {

File openFile(const std::string& path) { return File(std::fopen(path.c_str(), "rbe")); }

bool isValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80           ? 1
                              : (lead >> 5) == 0x6  ? 2
                              : (lead >> 4) == 0xE  ? 3
                              : (lead >> 3) == 0x1E ? 4
                                                    : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += length;
    }
    return true;
}

std::string latin1ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return out;
}

}  // namespace

// A caller that writes each path character as its low 8 bits produces Latin-1 bytes; when such a
// name is not found as given and is not valid UTF-8, it is looked up once more as Latin-1
// converted to UTF-8.
File openStreamFile(const std::string& path) {
    File file = openFile(path);
    if (!file && errno == ENOENT && !isValidUtf8(path)) file = openFile(latin1ToUtf8(path));
    return file;
}

}  // namespace scanifc_files
