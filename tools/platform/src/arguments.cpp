#include "ks_tools/arguments.h"

namespace ks_tools {

Utf8Arguments::Utf8Arguments(int argc, char** argv) : arguments_(systemArguments(argc, argv)) {
    pointers_.reserve(arguments_.size() + 1);
    for (const std::string& argument : arguments_) pointers_.push_back(argument.c_str());
    pointers_.push_back(nullptr);
}

}  // namespace ks_tools
