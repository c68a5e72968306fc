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

// argv lost what the ANSI code page cannot spell; the wide command line still has it. The C
// runtime and the system split a few odd quotings ("" inside quotes) differently; when the two
// disagree on the count, or the system refuses, argv is taken as it is.
std::vector<std::string> systemArguments(int argc, char** argv) {
    std::vector<std::string> arguments = splitCommandLine(GetCommandLineW());
    if (static_cast<int>(arguments.size()) != argc)
        return std::vector<std::string>(argv, argv + argc);
    return arguments;
}

}  // namespace ks_tools
