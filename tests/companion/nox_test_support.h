#pragma once
// Helpers for the writer and viewer tests: wide literals, a scratch folder, reading a file back
// through the viewer, and a look at the stored index.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "lyrant_api.h"
#include "nox_format.h"
#include "nox_writer_api.h"

namespace noxtest {

std::u16string wide(std::string_view ascii);
std::string narrow(const char16_t* text);

// A fresh folder, removed with its content afterwards.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    std::u16string wideFile(const std::string& name) const { return wide(file(name)); }
    const std::filesystem::path& path() const { return path_; }
    std::vector<std::string> entries() const;

private:
    std::filesystem::path path_;
};

// Writer settings are process-wide; every test starts from these.
void resetWriterSettings();

struct ReadBack {
    std::vector<double> xyz;
    std::vector<uint8_t> rgb;
    std::vector<int16_t> intensity;
    std::vector<float> normals;
    std::vector<uint8_t> classes;
    size_t size() const { return intensity.size(); }
};

// All points of the file through a query, in blocks of `block`. Fails the test if it won't open.
ReadBack readAll(const std::string& path, uint32_t block = 777);

// The file's index, straight from the bytes (white-box).
nox::FileIndex readIndex(const std::string& path);

std::vector<uint8_t> readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace noxtest
