#pragma once

// The exceptions the bindings raise, as C++ types that module.cpp translates: a missing file
// becomes FileNotFoundError (with errno and the file name), a bad argument ValueError
// (pybind11's value_error), everything else noxformats.NoxError, a RuntimeError. The host kit's
// refusals become one of them by their kind.
#include <pybind11/pybind11.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "ks_hostkit/refusal.h"

namespace noxpy {

struct NoxFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct MissingFile : std::runtime_error {
    MissingFile(const std::string& message, std::string path)
        : std::runtime_error(message), file(std::move(path)) {}
    std::string file;
};

// Throws the refusal as its kind says: Missing as MissingFile naming its subject, BadRequest and
// Unsupported as value_error, any other as NoxFailure; the message is the refusal's reason.
[[noreturn]] void raise(const hostkit::Refusal& refusal);

// Throws the refusal a caller most needs to hear of: a missing input, else a wrong request or an
// unsupported input, else the first.
[[noreturn]] void raiseFirst(const std::vector<hostkit::Refusal>& refusals);

// Registers NoxError on the module and the translation of both types.
void registerErrors(pybind11::module_& module);

}  // namespace noxpy
