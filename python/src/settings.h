#pragma once

// The conversion settings a Python caller gives by name, checked and turned into the settings
// the host kit hands to the batch, as noxconvert's options are. A name that is not a setting, or a
// value of the wrong kind or out of range, throws pybind11::value_error naming the setting, before
// anything is converted.
#include <pybind11/pybind11.h>

#include <string>
#include <vector>

#include "ks_hostkit/batch_settings.h"

namespace noxpy {

// The settings noxconvert has no option for: stored by the batch only, and the creator tag.
struct ExtraSettings {
    bool includeNormals = false;
    ks_formats::ColorBit colourBits = ks_formats::ColorBit8;
    std::string creator = "noxformats";
};

struct ConversionSettings {
    hostkit::BatchSettings batch;
    ExtraSettings extra;
};

ConversionSettings parseSettings(const pybind11::dict& settings);

// Every setting name, in the order the documentation lists them.
std::vector<std::string> settingNames();

// Hands every setting to the batch.
void applyAll(const ConversionSettings& settings, ks_formats::ImportBatch& batch);

}  // namespace noxpy
