#pragma once
// The name of the writer's temporary file. The writer builds an output under
// ".<output name>.<process id>.<n>.part" in the output's folder and renames it onto the output
// name only when complete; a host that ends its process at once removes what is left by this
// name, so both sides take it from here.
#include <cstddef>
#include <string>
#include <string_view>

namespace noxwriter {

inline constexpr std::string_view kSpillSuffix = ".part";

// The temporary file name (no folder) for the output file name outputName.
inline std::string spillFileName(std::string_view outputName, long processId, unsigned counter) {
    std::string name = ".";
    name.append(outputName);
    name += "." + std::to_string(processId) + "." + std::to_string(counter);
    name.append(kSpillSuffix);
    return name;
}

// True when fileName (no folder) is a temporary file that the writer of process processId names.
inline bool isSpillFileOf(std::string_view fileName, long processId) {
    if (fileName.size() <= kSpillSuffix.size() || fileName.front() != '.' ||
        !fileName.ends_with(kSpillSuffix))
        return false;
    fileName.remove_suffix(kSpillSuffix.size());
    const size_t counterDot = fileName.rfind('.');
    if (counterDot == std::string_view::npos || counterDot + 1 == fileName.size() ||
        fileName.find_first_not_of("0123456789", counterDot + 1) != std::string_view::npos)
        return false;
    const std::string process = "." + std::to_string(processId);
    const std::string_view rest = fileName.substr(0, counterDot);
    // At least one character of output name between the leading dot and the process id.
    return rest.size() > process.size() + 1 && rest.ends_with(process);
}

// The process id in fileName (no folder) when it is exactly a temporary file name the writer
// gives the output file name outputName: "." outputName "." digits "." digits ".part".
// Anything else, including the temporary files of other outputs, answers -1.
inline long spillFileProcess(std::string_view fileName, std::string_view outputName) {
    const auto isDigits = [](std::string_view text) {
        return !text.empty() && text.size() <= 18 &&
               text.find_first_not_of("0123456789") == std::string_view::npos;
    };
    if (outputName.empty() || fileName.size() <= outputName.size() + 1 + kSpillSuffix.size() ||
        fileName.front() != '.' || fileName.substr(1, outputName.size()) != outputName ||
        !fileName.ends_with(kSpillSuffix))
        return -1;
    std::string_view numbers = fileName.substr(1 + outputName.size());
    numbers.remove_suffix(kSpillSuffix.size());
    // ".<pid>.<n>"
    if (numbers.empty() || numbers.front() != '.') return -1;
    numbers.remove_prefix(1);
    const size_t dot = numbers.find('.');
    if (dot == std::string_view::npos) return -1;
    const std::string_view process = numbers.substr(0, dot), counter = numbers.substr(dot + 1);
    if (!isDigits(process) || !isDigits(counter)) return -1;
    long id = 0;
    for (const char digit : process) id = id * 10 + (digit - '0');
    return id;
}

}  // namespace noxwriter
