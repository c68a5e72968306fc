// _noxformats: the compiled half of the noxformats package. The Python half (python/noxformats/)
// gives the documented interface; this module gives it conversions, scenes, project listings and
// the names of result codes.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "conversion.h"
#include "errors.h"
#include "ks_hostkit/result_names.h"
#include "scene.h"

namespace py = pybind11;

PYBIND11_MODULE(_noxformats, module) {
    module.doc() = "Conversion of laser scans into NOX files and reading NOX files into numpy";
    noxpy::registerErrors(module);

    PYBIND11_NUMPY_DTYPE(noxpy::PointRecord, x, y, z, intensity, red, green, blue, classification);
    module.attr("POINT_DTYPE") = py::dtype::of<noxpy::PointRecord>();
    module.def("setting_names", &noxpy::settingNames, "every conversion setting's name");
    module.def(
        "check_settings", [](const py::dict& settings) { noxpy::parseSettings(settings); },
        py::arg("settings"), "raises ValueError for an unknown setting or a bad value");
    module.def("result_name", &hostkit::resultName, py::arg("code"),
               "the library's name of a result code, e.g. ResultCannotOpenFile");
    module.def("describe_result", &hostkit::describeResult, py::arg("code"),
               "a result code in words, with its name");
    module.def("project_scans", &noxpy::projectScans, py::arg("project"), py::arg("source") = "rdb",
               "the scans of a project in conversion order: (file, row-major matrix)");
    module.def("info_json", &noxpy::infoJson, py::arg("path"),
               "what `noxconvert info --json` prints about a NOX file");

    py::class_<noxpy::Conversion>(module, "Conversion")
        .def(py::init<const std::vector<std::string>&, const std::string&, const py::dict&,
                      const std::optional<std::vector<int>>&>(),
             py::arg("inputs"), py::arg("output"), py::arg("settings"),
             py::arg("scans") = py::none())
        .def("run", &noxpy::Conversion::run, py::arg("progress") = py::none())
        .def("cancel", &noxpy::Conversion::cancel, py::call_guard<py::gil_scoped_release>())
        .def_property_readonly("import_files", &noxpy::Conversion::importFiles);

    py::class_<noxpy::BlockReader>(module, "BlockReader")
        .def("next", &noxpy::BlockReader::next, py::arg("count"))
        .def_property_readonly("delivered", &noxpy::BlockReader::delivered);

    py::class_<noxpy::Scene>(module, "Scene")
        .def(py::init<const std::string&>(), py::arg("path"))
        .def("close", &noxpy::Scene::close)
        .def_property_readonly("closed", &noxpy::Scene::closed)
        .def_property_readonly("path", &noxpy::Scene::path)
        .def("summary", &noxpy::Scene::summary)
        .def("read", &noxpy::Scene::read)
        .def("blocks", &noxpy::Scene::blocks)
        .def("to_e57", &noxpy::Scene::toE57, py::arg("path"))
        .def("to_las", &noxpy::Scene::toLas, py::arg("path"));
}
