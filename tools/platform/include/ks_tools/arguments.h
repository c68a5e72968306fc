#pragma once

// The command line as UTF-8, which is how the tools and CLI11 read narrow text. On Linux that is
// what main gets. On Windows main's argv is in the ANSI code page and has already lost the
// characters it cannot spell, so the arguments are taken from the wide command line instead.
#include <string>
#include <vector>

namespace ks_tools {

class Utf8Arguments {
public:
    Utf8Arguments(int argc, char** argv);
    Utf8Arguments(const Utf8Arguments&) = delete;
    Utf8Arguments& operator=(const Utf8Arguments&) = delete;

    int count() const { return static_cast<int>(arguments_.size()); }
    // argv-style: count() pointers and a null pointer after them; valid while this lives.
    const char* const* values() const { return pointers_.data(); }
    const std::string& operator[](size_t index) const { return arguments_[index]; }

private:
    std::vector<std::string> arguments_;
    std::vector<const char*> pointers_;
};

// The arguments main would get, as UTF-8 (defined per system).
std::vector<std::string> systemArguments(int argc, char** argv);

}  // namespace ks_tools
