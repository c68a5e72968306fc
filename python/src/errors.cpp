#include "errors.h"

#include <cerrno>

namespace noxpy {

void raise(const hostkit::Refusal& refusal) {
    switch (refusal.kind) {
        case hostkit::RefusalKind::Missing:
            throw MissingFile(refusal.reason, refusal.subject);
        case hostkit::RefusalKind::BadRequest:
        case hostkit::RefusalKind::Unsupported:
            throw pybind11::value_error(refusal.reason);
        case hostkit::RefusalKind::Unreadable:
        case hostkit::RefusalKind::Unavailable:
        case hostkit::RefusalKind::Failed:
            break;
    }
    throw NoxFailure(refusal.reason);
}

void raiseFirst(const std::vector<hostkit::Refusal>& refusals) {
    const auto first = [&](std::initializer_list<hostkit::RefusalKind> kinds) {
        for (const hostkit::Refusal& refusal : refusals)
            for (const hostkit::RefusalKind kind : kinds)
                if (refusal.kind == kind) raise(refusal);
    };
    first({hostkit::RefusalKind::Missing});
    first({hostkit::RefusalKind::BadRequest, hostkit::RefusalKind::Unsupported});
    if (refusals.empty()) throw NoxFailure("the conversion cannot start");
    raise(refusals.front());
}

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
