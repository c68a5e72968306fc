#include "binary_output.h"

#include <stdexcept>

#include "ks_tools/utf8_path.h"

namespace ks_sampledata::detail {

namespace {
constexpr size_t kBufferBytes = 1 << 20;

// The name for messages, as UTF-8 (path::string() would go through the ANSI code page on Windows).
std::string nameOf(const std::filesystem::path& path) { return ks_tools::utf8FromPath(path); }
}  // namespace

BinaryOutput::BinaryOutput(const std::filesystem::path& path)
    : path_(path), out_(path, std::ios::binary | std::ios::trunc), buffer_(kBufferBytes) {
    if (!out_) throw std::runtime_error("cannot create " + nameOf(path));
}

unsigned char* BinaryOutput::append(size_t count) {
    if (finished_) throw std::logic_error("write after finish: " + nameOf(path_));
    if (count > buffer_.size()) throw std::length_error("write larger than the buffer");
    if (buffer_.size() - used_ < count) flush();
    unsigned char* room = buffer_.data() + used_;
    used_ += count;
    return room;
}

void BinaryOutput::flush() {
    out_.write(reinterpret_cast<const char*>(buffer_.data()), static_cast<std::streamsize>(used_));
    used_ = 0;
    if (!out_) throw std::runtime_error("cannot write " + nameOf(path_));
}

void BinaryOutput::finish() {
    if (finished_) return;
    finished_ = true;
    flush();
    out_.close();
    if (!out_) throw std::runtime_error("cannot complete " + nameOf(path_));
}

}  // namespace ks_sampledata::detail
