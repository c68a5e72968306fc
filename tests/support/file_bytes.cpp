#include "support/file_bytes.h"

#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace ks_test {
namespace {

template <typename Container>
Container readWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);  // opened at the end: its size
    const std::streamoff size = in ? std::streamoff(in.tellg()) : -1;
    if (size < 0) throw std::runtime_error("cannot read " + path.string());
    Container content(static_cast<size_t>(size), 0);
    in.seekg(0);
    in.read(reinterpret_cast<char*>(content.data()), static_cast<std::streamsize>(content.size()));
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return content;
}

}  // namespace

std::vector<uint8_t> readBytes(const fs::path& path) {
    return readWhole<std::vector<uint8_t>>(path);
}

std::string readText(const fs::path& path) { return readWhole<std::string>(path); }

void writeBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace ks_test
