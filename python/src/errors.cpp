#include "errors.h"

#include <cerrno>

namespace noxpy {

void registerErrors(pybind11::module_& module) {
    // Made once and kept for the life of the interpreter, as pybind11 keeps its own exceptions.
    static pybind11::exception<NoxFailure> noxError(module, "NoxError", PyExc_RuntimeError);
    pybind11::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown) std::rethrow_exception(thrown);
        } catch (const MissingFile& missing) {
            // FileNotFoundError(errno, message, filename), as the os module raises it.
            pybind11::object error =
                pybind11::reinterpret_steal<pybind11::object>(PyObject_CallFunction(
                    PyExc_FileNotFoundError, "iss", ENOENT, missing.what(), missing.file.c_str()));
            if (error) PyErr_SetObject(PyExc_FileNotFoundError, error.ptr());
        } catch (const NoxFailure& failure) {
            noxError(failure.what());
        }
    });
}

}  // namespace noxpy
