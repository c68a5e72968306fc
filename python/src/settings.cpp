#include "settings.h"

#include <cmath>
#include <functional>
#include <map>
#include <optional>

namespace noxpy {
namespace {

namespace py = pybind11;
using hostkit::BatchSettings;

[[noreturn]] void refuse(const std::string& name, const std::string& expected,
                         const py::handle& value) {
    throw py::value_error("setting " + name + ": expected " + expected + ", got " +
                          std::string(py::repr(value)));
}

bool asBool(const std::string& name, const py::handle& value) {
    // Exactly True or False: 0, 1, "yes" or None are more likely mistakes than choices.
    if (!PyBool_Check(value.ptr())) refuse(name, "True or False", value);
    return value.ptr() == Py_True;
}

double asNumber(const std::string& name, const py::handle& value, const std::string& expected,
                const std::function<bool(double)>& inRange) {
    if (PyBool_Check(value.ptr()) || PyUnicode_Check(value.ptr()) || PyBytes_Check(value.ptr()))
        refuse(name, expected, value);
    const double number = PyFloat_AsDouble(value.ptr());
    if (number == -1.0 && PyErr_Occurred()) {
        PyErr_Clear();
        refuse(name, expected, value);
    }
    if (!std::isfinite(number) || !inRange(number)) refuse(name, expected, value);
    return number;
}

long long asWhole(const std::string& name, const py::handle& value, const std::string& expected,
                  long long lowest, long long highest) {
    if (PyBool_Check(value.ptr()) || !PyIndex_Check(value.ptr())) refuse(name, expected, value);
    int overflow = 0;
    const py::object index = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
    if (!index) throw py::error_already_set();
    const long long whole = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
    if (overflow != 0 || whole < lowest || whole > highest) refuse(name, expected, value);
    return whole;
}

template <typename T>
T asChoice(const std::string& name, const py::handle& value,
           const std::vector<std::pair<std::string, T>>& choices) {
    std::string expected;
    for (const auto& [text, choice] : choices) expected += (expected.empty() ? "" : " or ") + text;
    if (!PyUnicode_Check(value.ptr())) refuse(name, expected, value);
    const std::string text = value.cast<std::string>();
    for (const auto& [word, choice] : choices)
        if (text == word) return choice;
    refuse(name, expected, value);
}

using Apply = std::function<void(const py::handle&, ConversionSettings&)>;

struct Setting {
    std::string name;
    Apply apply;
};

const std::vector<Setting>& settingTable() {
    using namespace ks_formats;
    static const std::vector<Setting> table = [] {
        std::vector<Setting> settings;
        const auto flag = [&](const char* name, bool BatchSettings::*field, bool inverted) {
            settings.push_back(
                {name, [name, field, inverted](const py::handle& v, ConversionSettings& s) {
                     s.batch.*field = asBool(name, v) != inverted;
                 }});
        };
        settings.push_back({"mode", [](const py::handle& v, ConversionSettings& s) {
                                s.batch.mode = asChoice<BatchMode>("mode", v,
                                                                   {{"batch", BatchModeSingleFile},
                                                                    {"file", BatchModePerFile},
                                                                    {"scan", BatchModePerScan}});
                            }});
        settings.push_back({"tolerance", [](const py::handle& v, ConversionSettings& s) {
                                s.batch.tolerance = static_cast<float>(
                                    asNumber("tolerance", v, "a number of metres >= 0",
                                             [](double t) { return t >= 0 && t <= 1e6; }));
                            }});
        flag("auto_tolerance", &BatchSettings::autoTolerance, false);
        settings.push_back({"units_per_metre", [](const py::handle& v, ConversionSettings& s) {
                                s.batch.unitsPerMetre =
                                    asNumber("units_per_metre", v, "a number > 0",
                                             [](double u) { return u > 0; });
                            }});
        settings.push_back({"spatial_filter", [](const py::handle& v, ConversionSettings& s) {
                                if (v.is_none()) {
                                    s.batch.spatialFilter.reset();
                                    return;
                                }
                                s.batch.spatialFilter = static_cast<float>(asNumber(
                                    "spatial_filter", v, "None or a cube edge in metres > 0",
                                    [](double d) { return d > 0 && d <= 1e6; }));
                            }});
        flag("intensity", &BatchSettings::noIntensity, true);
        flag("colour", &BatchSettings::noColour, true);
        flag("classification", &BatchSettings::classification, false);
        flag("combine", &BatchSettings::combineClouds, false);
        flag("normals", &BatchSettings::generateNormals, false);
        flag("normalise_intensities", &BatchSettings::normaliseIntensities, false);
        flag("recursive", &BatchSettings::recursive, false);
        settings.push_back(
            {"project_source", [](const py::handle& v, ConversionSettings& s) {
                 s.batch.projectSource = asChoice<RSPOpt::RSPDataSource>(
                     "project_source", v,
                     {{"rdb", RSPOpt::DataSourceRdb}, {"scan", RSPOpt::DataSourceScanFile}});
             }});
        settings.push_back({"intensity_source", [](const py::handle& v, ConversionSettings& s) {
                                s.batch.intensitySource = asChoice<RSPOpt::RSPIntensitySource>(
                                    "intensity_source", v,
                                    {{"reflectance", RSPOpt::IntensityReflectance},
                                     {"amplitude", RSPOpt::IntensityAmplitude}});
                            }});
        settings.push_back({"reflectance_scale", [](const py::handle& v, ConversionSettings& s) {
                                s.batch.reflectanceScale =
                                    asNumber("reflectance_scale", v, "a number > 0",
                                             [](double f) { return f > 0; });
                            }});
        settings.push_back(
            {"min_scan_size", [](const py::handle& v, ConversionSettings& s) {
                 s.batch.minimumScanSize = static_cast<int>(
                     asWhole("min_scan_size", v, "a whole number of cells from 0", 0, 2147483647));
             }});
        settings.push_back({"feedback_count", [](const py::handle& v, ConversionSettings& s) {
                                s.batch.feedbackCount = static_cast<unsigned long>(
                                    asWhole("feedback_count", v,
                                            "a whole number of points from 1 to 1000000000", 1,
                                            1'000'000'000));
                            }});
        settings.push_back({"include_normals", [](const py::handle& v, ConversionSettings& s) {
                                s.extra.includeNormals = asBool("include_normals", v);
                            }});
        settings.push_back({"colour_bits", [](const py::handle& v, ConversionSettings& s) {
                                const long long bits = asWhole("colour_bits", v, "8 or 16", 8, 16);
                                if (bits != 8 && bits != 16) refuse("colour_bits", "8 or 16", v);
                                s.extra.colourBits = bits == 16 ? ColorBit16 : ColorBit8;
                            }});
        settings.push_back({"creator", [](const py::handle& v, ConversionSettings& s) {
                                if (!PyUnicode_Check(v.ptr()) || py::len(v) == 0)
                                    refuse("creator", "a non-empty text", v);
                                s.extra.creator = v.cast<std::string>();
                            }});
        return settings;
    }();
    return table;
}

}  // namespace

std::vector<std::string> settingNames() {
    std::vector<std::string> names;
    for (const Setting& setting : settingTable()) names.push_back(setting.name);
    return names;
}

ConversionSettings parseSettings(const pybind11::dict& settings) {
    ConversionSettings parsed;
    for (const auto& [key, value] : settings) {
        const std::string name = py::str(key);
        const Setting* found = nullptr;
        for (const Setting& setting : settingTable())
            if (setting.name == name) found = &setting;
        if (!found) {
            std::string known;
            for (const std::string& n : settingNames()) known += (known.empty() ? "" : ", ") + n;
            throw py::value_error("unknown setting '" + name + "'; the settings are: " + known);
        }
        found->apply(value, parsed);
    }
    return parsed;
}

void applyAll(const ConversionSettings& settings, ks_formats::ImportBatch& batch) {
    hostkit::applySettings(settings.batch, batch);
    batch.includeNormals(settings.extra.includeNormals);
    batch.set8BitColour(settings.extra.colourBits);
}

}  // namespace noxpy
