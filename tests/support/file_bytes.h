#pragma once
// Whole files in and out of memory, for tests that damage inputs or look at what was written.
// A file that cannot be read or written throws, so a wrong path fails the test where it lies.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace ks_test {

std::vector<uint8_t> readBytes(const std::filesystem::path& path);
std::string readText(const std::filesystem::path& path);
// Replaces the file's content.
void writeBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

}  // namespace ks_test
