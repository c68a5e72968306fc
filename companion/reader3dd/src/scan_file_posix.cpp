// The scan file on POSIX systems: the UTF-16 path becomes the UTF-8 name the system expects.
#include <sys/types.h>

#include <string>

#include "scan_file.h"

namespace ks_formats::reader3dd {
namespace {

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf8FromUtf16(const char16_t* text) {
    std::string out;
    auto put = [&out](uint32_t c) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    };
    for (const char16_t* p = text; *p; ++p) {
        const uint32_t unit = *p;
        if (unit >= 0xD800 && unit < 0xDC00 && p[1] >= 0xDC00 && p[1] < 0xE000) {
            put(0x10000 + ((unit - 0xD800) << 10) + (static_cast<uint32_t>(p[1]) - 0xDC00));
            ++p;
        } else if (unit >= 0xD800 && unit < 0xE000) {
            put(0xFFFD);
        } else {
            put(unit);
        }
    }
    return out;
}

}  // namespace

File openScanFile(com::BSTR path) { return File(std::fopen(utf8FromUtf16(path).c_str(), "rbe")); }

int64_t scanFileSize(std::FILE* file) {
    if (fseeko(file, 0, SEEK_END) != 0) return -1;
    return static_cast<int64_t>(ftello(file));
}

bool seekScanFile(std::FILE* file, uint64_t offset) {
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

}  // namespace ks_formats::reader3dd
