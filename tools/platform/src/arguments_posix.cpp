#include "ks_tools/arguments.h"

namespace ks_tools {

// The system hands the bytes as given; the tools take them for UTF-8.
std::vector<std::string> systemArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

}  // namespace ks_tools
