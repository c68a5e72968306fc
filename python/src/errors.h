#pragma once

// The exceptions the bindings raise, as C++ types that module.cpp translates: a missing file
// becomes FileNotFoundError (with errno and the file name), a bad argument ValueError
// (pybind11's value_error), everything else noxformats.NoxError, a RuntimeError.
#include <pybind11/pybind11.h>

#include <stdexcept>
#include <string>

namespace noxpy {

struct NoxFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct MissingFile : std::runtime_error {
    MissingFile(const std::string& message, std::string path)
        : std::runtime_error(message), file(std::move(path)) {}
    std::string file;
};

// Registers NoxError on the module and the translation of both types.
void registerErrors(pybind11::module_& module);

}  // namespace noxpy
