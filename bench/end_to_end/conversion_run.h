#pragma once
// One conversion through the public interface, meant to run alone in a child process so that
// the operating system's accounting (peak memory, CPU time) belongs to it alone.
#include <filesystem>
#include <string>
#include <vector>

namespace end_to_end {

// The input kind of an import file, from its last three characters: "rdb", "rxp", "3dd", or
// empty for anything else.
std::string inputKind(const std::filesystem::path& file);

struct ConversionRequest {
    std::string kind;   // "rdb", "rxp", "3dd", or "all"
    int batchMode = 3;  // 1 per scan, 2 per file, 3 whole batch
    std::filesystem::path outputFolder;
    std::filesystem::path project;  // may be empty
    std::vector<std::filesystem::path> extraInputs;
};

// The import files of the project (as the project handler lists them) and the extra inputs.
std::vector<std::filesystem::path> listImportFiles(
    const std::filesystem::path& project, const std::vector<std::filesystem::path>& extras);

// Converts the request's files of its kind with intensity and colour at 1 mm into the real
// writer. Prints "seconds <wall>" and then one "file <path>" line per written file on standard
// output; answers the process exit status.
int runConversion(const ConversionRequest& request);

// The command-line form of a request for a child process, and back.
std::vector<std::string> conversionArguments(const std::string& self,
                                             const ConversionRequest& request);
bool parseConversionArguments(int argc, char** argv, ConversionRequest& request);

}  // namespace end_to_end
