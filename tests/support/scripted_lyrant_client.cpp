#include "support/scripted_lyrant_client.h"

#include <sstream>

#include "ks_common/library_file.h"
#include "support/test_system.h"

namespace ks_test {
namespace {

template <typename Function>
Function lyrantSymbol(const char* name) {
    return reinterpret_cast<Function>(loadedSymbol(KS_LIBRARY_FILE("KestrionLyrantAPI"), name));
}

}  // namespace

void setLyrantScene(uint64_t delivered, uint64_t reported, uint32_t contentFlags) {
    if (auto set = lyrantSymbol<void (*)(uint64_t, uint64_t, uint32_t)>("ksTestLyrantScene"))
        set(delivered, reported, contentFlags);
}

void setLyrantOpenFails(bool on) {
    if (auto set = lyrantSymbol<void (*)(int32_t)>("ksTestLyrantFailOpen")) set(on ? 1 : 0);
}

std::vector<std::string> lyrantCallLines() {
    std::vector<std::string> lines;
    auto calls = lyrantSymbol<const char* (*)()>("ksTestLyrantCalls");
    std::istringstream in(calls ? calls() : "<no scripted viewer>");
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

void resetLyrantCalls() {
    if (auto reset = lyrantSymbol<void (*)()>("ksTestLyrantReset")) reset();
}

int lyrantLiveHandles() {
    auto live = lyrantSymbol<int32_t (*)()>("ksTestLyrantLiveHandles");
    return live ? live() : -1;
}

}  // namespace ks_test
