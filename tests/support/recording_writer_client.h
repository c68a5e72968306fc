#pragma once
// Talks to the recording writer that the unit tests put first on the library path. Header only:
// it binds the writer through the library's internals, which the program links (the internal
// archive), not the support library.
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "ks_common/library_file.h"
#include "support/test_system.h"
#include "writer/writer_library.h"

namespace ks_test {

namespace recorder_detail {

inline void* recorderSymbol(const char* name) {
    return loadedSymbol(KS_LIBRARY_FILE("NoxWriter"), name);
}

}  // namespace recorder_detail

inline void resetWriterCalls() {
    auto reset = reinterpret_cast<void (*)()>(recorder_detail::recorderSymbol("ksTestReset"));
    if (reset) reset();
}

// Loads the recording writer (by bare name, as the library does) and binds the library's writer
// to it.
inline bool bindRecordingWriter() {
    if (!ks_formats::loadWriterLibrary()) return false;
    resetWriterCalls();
    return true;
}

// The writer binding is library-wide: a test that breaks it holds one of these, which binds the
// recording writer again when the test ends, for the tests that share its process.
struct RebindWriterAtEnd {
    RebindWriterAtEnd() = default;
    RebindWriterAtEnd(const RebindWriterAtEnd&) = delete;
    RebindWriterAtEnd& operator=(const RebindWriterAtEnd&) = delete;
    ~RebindWriterAtEnd() { bindRecordingWriter(); }
};

// The calls recorded since the last reset, one per line.
inline std::string writerCalls() {
    auto calls =
        reinterpret_cast<const char* (*)()>(recorder_detail::recorderSymbol("ksTestCalls"));
    return calls ? calls() : std::string("<no recording writer>");
}

inline std::vector<std::string> writerCallLines() {
    std::vector<std::string> lines;
    std::istringstream in(writerCalls());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The recorded calls whose line starts with any of the prefixes, in call order.
inline std::vector<std::string> writerCallsStartingWith(
    std::initializer_list<const char*> prefixes) {
    std::vector<std::string> out;
    for (const std::string& line : writerCallLines())
        for (const char* prefix : prefixes)
            if (line.rfind(prefix, 0) == 0) {
                out.push_back(line);
                break;
            }
    return out;
}

inline void setWriterResult(const char* function, int code) {
    auto set = reinterpret_cast<void (*)(const char*, int)>(
        recorder_detail::recorderSymbol("ksTestSetResult"));
    if (set) set(function, code);
}

}  // namespace ks_test
