#include "ks_hostkit/result_names.h"

namespace hostkit {
namespace {

struct ResultText {
    int code;
    const char* name;  // null for the writer library's codes
    const char* meaning;
};

constexpr ResultText kResults[] = {
    {1, "ResultSuccess", "success"},
    {2, "ResultFailed", "failed"},
    {3, "ResultOutputFailed", "the output file cannot be written"},
    {5, "ResultInvalidBatch", "invalid batch"},
    {10, "ResultUnsupportedFileType", "unsupported file type"},
    {11, "ResultCannotOpenFile", "cannot open the file"},
    {12, "ResultCancelled", "cancelled"},
    // The writer library's codes (docs/nox-format.md).
    {20, nullptr, "writer: no stream is open"},
    {21, nullptr, "writer: a cloud before any group"},
    {22, nullptr, "writer: a point before any cloud"},
    {23, nullptr, "writer: invalid argument"},
    {24, nullptr, "writer: the output cannot be created or renamed into place"},
    {25, nullptr, "writer: writing failed (disk full or I/O error)"},
    {26, nullptr, "writer: out of memory"},
    {27, nullptr, "writer: the stream was already ended"},
    {28, nullptr, "writer: the grid cloud is already full"},
    {29, nullptr, "writer: internal error"},
};

const ResultText* findResult(int code) {
    for (const ResultText& entry : kResults)
        if (entry.code == code) return &entry;
    return nullptr;
}

}  // namespace

std::string describeResult(int code) {
    const ResultText* entry = findResult(code);
    if (!entry) return "result " + std::to_string(code);
    if (!entry->name) return entry->meaning;
    return std::string(entry->meaning) + " (" + entry->name + ")";
}

std::string resultName(int code) {
    const ResultText* entry = findResult(code);
    if (!entry) return "result " + std::to_string(code);
    return entry->name ? entry->name : entry->meaning;
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

std::string phaseCodeName(int phase) {
    switch (phase) {
        case 1:
            return "PhaseSetup";
        case 2:
            return "PhaseRead";
        case 3:
            return "PhaseWrite";
        default:
            return "phase " + std::to_string(phase);
    }
}

}  // namespace hostkit
