#pragma once

// Windows only: splitting a wide command line into UTF-8 arguments.
#include <string>
#include <vector>

namespace ks_tools {

// The arguments of commandLine, split as the system splits a program's command line (quotes
// group, backslashes before a quote escape it), each as UTF-8. Empty when the system refuses.
std::vector<std::string> splitCommandLine(const wchar_t* commandLine);

}  // namespace ks_tools
