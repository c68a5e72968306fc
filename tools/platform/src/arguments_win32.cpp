#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "ks_common/text_encoding.h"
#include "ks_tools/arguments.h"
#include "ks_tools/windows_command_line.h"

namespace ks_tools {

std::vector<std::string> splitCommandLine(const wchar_t* commandLine) {
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(commandLine, &count);
    if (!wide) return arguments;
    arguments.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) arguments.push_back(ks_common::toUtf8(wide[i]));
    LocalFree(wide);
    return arguments;
}

// argv lost what the ANSI code page cannot spell; the wide command line still has it. The split
// is the system's for every argument, so the arguments do not depend on how the C runtime splits
// (or expands wildcards in) argv; argv is taken as it is only when the system refuses.
std::vector<std::string> systemArguments(int argc, char** argv) {
    std::vector<std::string> arguments = splitCommandLine(GetCommandLineW());
    if (arguments.empty()) return std::vector<std::string>(argv, argv + argc);
    return arguments;
}

}  // namespace ks_tools
