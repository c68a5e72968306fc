#pragma once

// Which input files this build converts: the registered handlers' formats, by extension. Needs a
// prior ks_formats::Initialize (which registers the handlers).
#include <string>
#include <vector>

namespace noxconvert {

struct InputKind {
    std::string extension;  // lower case, no dot
    std::string name;
};

std::vector<InputKind> convertedInputKinds();

// True when a handler takes the file: its last three characters name a converted kind, in lower
// or in upper case, exactly as the library compares them.
bool isConvertedInput(const std::string& path, const std::vector<InputKind>& kinds);

}  // namespace noxconvert
