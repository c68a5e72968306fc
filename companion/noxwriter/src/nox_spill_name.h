#pragma once
// The name of the writer's temporary file. The writer builds an output under
// ".<output name>.<process id>.<n>.part" in the output's folder and renames it onto the output
// name only when complete. What is left under such a name by a writer that never finished is
// removed by the next writer of the same output, or by ksioRemoveAbandonedSpillFilesW.
#include <algorithm>
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

// The process id in fileName (no folder) when it has the form of a temporary file name the writer
// gives any output: "." name "." digits "." digits ".part", with a name of one character or more.
// Anything else answers -1.
inline long spillFileAnyProcess(std::string_view fileName) {
    if (fileName.size() <= kSpillSuffix.size() || fileName.front() != '.' ||
        !fileName.ends_with(kSpillSuffix))
        return -1;
    fileName.remove_suffix(kSpillSuffix.size());
    const auto isDigits = [](std::string_view text) {
        return !text.empty() && text.size() <= 18 &&
               text.find_first_not_of("0123456789") == std::string_view::npos;
    };
    const size_t counterDot = fileName.rfind('.');
    if (counterDot == std::string_view::npos || !isDigits(fileName.substr(counterDot + 1)))
        return -1;
    fileName = fileName.substr(0, counterDot);
    const size_t processDot = fileName.rfind('.');
    // At least one character of output name between the leading dot and the process id.
    if (processDot == std::string_view::npos || processDot < 2 ||
        !isDigits(fileName.substr(processDot + 1)))
        return -1;
    long id = 0;
    for (const char digit : fileName.substr(processDot + 1)) id = id * 10 + (digit - '0');
    return id;
}

// True when fileName (no folder) is a temporary file that the writer of process processId names.
inline bool isSpillFileOf(std::string_view fileName, long processId) {
    return processId >= 0 && spillFileAnyProcess(fileName) == processId;
}

// The process id in fileName (no folder) when it is exactly a temporary file name the writer
// gives the output file name outputName: "." outputName "." digits "." digits ".part".
// Anything else, including the temporary files of other outputs, answers -1.
inline long spillFileProcess(std::string_view fileName, std::string_view outputName) {
    if (outputName.empty() || fileName.size() <= outputName.size() + 1 || fileName.front() != '.' ||
        fileName.substr(1, outputName.size()) != outputName)
        return -1;
    // After the output name only ".<pid>.<n>.part": the temporary file of an output whose name
    // merely starts with outputName ("site.nox.tmp" for "site.nox") has a dot more.
    const std::string_view tail = fileName.substr(1 + outputName.size());
    if (std::count(tail.begin(), tail.end(), '.') != 3) return -1;
    return spillFileAnyProcess(fileName);
}

}  // namespace noxwriter
