#include "result_names.h"

namespace noxconvert {

std::string describeResult(int code) {
    switch (code) {
        case 1:
            return "success (ResultSuccess)";
        case 2:
            return "failed (ResultFailed)";
        case 3:
            return "the output file cannot be written (ResultOutputFailed)";
        case 5:
            return "invalid batch (ResultInvalidBatch)";
        case 10:
            return "unsupported file type (ResultUnsupportedFileType)";
        case 11:
            return "cannot open the file (ResultCannotOpenFile)";
        case 12:
            return "cancelled (ResultCancelled)";
        // The writer library's codes (docs/nox-format.md).
        case 20:
            return "writer: no stream is open";
        case 21:
            return "writer: a cloud before any group";
        case 22:
            return "writer: a point before any cloud";
        case 23:
            return "writer: invalid argument";
        case 24:
            return "writer: the output cannot be created or renamed into place";
        case 25:
            return "writer: writing failed (disk full or I/O error)";
        case 26:
            return "writer: out of memory";
        case 27:
            return "writer: the stream was already ended";
        case 28:
            return "writer: the grid cloud is already full";
        case 29:
            return "writer: internal error";
        default:
            return "result " + std::to_string(code);
    }
}

const char* phaseName(int phase) {
    switch (phase) {
        case 1:
            return "setting up";
        case 2:
            return "reading";
        case 3:
            return "writing";
        default:
            return "working";
    }
}

}  // namespace noxconvert
