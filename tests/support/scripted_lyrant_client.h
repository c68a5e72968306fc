#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ks_test {

// Talks to the scripted viewer stand-in once the process holds it (after it was bound).
void setLyrantScene(uint64_t delivered, uint64_t reported, uint32_t contentFlags);
void setLyrantOpenFails(bool on);
// The viewer calls recorded since the last reset, one per line.
std::vector<std::string> lyrantCallLines();
void resetLyrantCalls();
// Scenes and queries the stand-in has handed out and not yet seen removed; -1 without it.
int lyrantLiveHandles();

}  // namespace ks_test
