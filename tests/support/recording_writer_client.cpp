#include "support/recording_writer_client.h"

#include <dlfcn.h>

#include <sstream>

#include "api/writer_library.h"

namespace ks_test {
namespace {

void* recorderSymbol(const char* name) {
    void* handle = dlopen("libNoxWriter.so", RTLD_NOW | RTLD_NOLOAD);
    if (!handle) return nullptr;
    void* symbol = dlsym(handle, name);
    dlclose(handle);
    return symbol;
}

}  // namespace

bool bindRecordingWriter() {
    if (!ks_formats::loadWriterLibrary()) return false;
    resetWriterCalls();
    return true;
}

std::string writerCalls() {
    auto calls = reinterpret_cast<const char* (*)()>(recorderSymbol("ksTestCalls"));
    return calls ? calls() : std::string("<no recording writer>");
}

std::vector<std::string> writerCallLines() {
    std::vector<std::string> lines;
    std::istringstream in(writerCalls());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> writerCallsStartingWith(std::initializer_list<const char*> prefixes) {
    std::vector<std::string> out;
    for (const std::string& line : writerCallLines())
        for (const char* prefix : prefixes)
            if (line.rfind(prefix, 0) == 0) {
                out.push_back(line);
                break;
            }
    return out;
}

void resetWriterCalls() {
    auto reset = reinterpret_cast<void (*)()>(recorderSymbol("ksTestReset"));
    if (reset) reset();
}

void setWriterResult(const char* function, int code) {
    auto set = reinterpret_cast<void (*)(const char*, int)>(recorderSymbol("ksTestSetResult"));
    if (set) set(function, code);
}

}  // namespace ks_test
