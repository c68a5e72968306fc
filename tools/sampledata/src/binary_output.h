#pragma once

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <vector>

namespace ks_sampledata::detail {

// A file written through a large buffer; the caller fills bytes in place.
class BinaryOutput {
public:
    explicit BinaryOutput(const std::filesystem::path& path);
    BinaryOutput(const BinaryOutput&) = delete;
    BinaryOutput& operator=(const BinaryOutput&) = delete;

    // Room for count bytes (at most the buffer's size), to be filled before the next call.
    unsigned char* append(size_t count);
    void finish();
    bool finished() const { return finished_; }

private:
    void flush();

    std::filesystem::path path_;
    std::ofstream out_;
    std::vector<unsigned char> buffer_;
    size_t used_ = 0;
    bool finished_ = false;
};

}  // namespace ks_sampledata::detail
