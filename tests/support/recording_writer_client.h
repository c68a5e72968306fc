#pragma once

#include <initializer_list>
#include <string>
#include <vector>

namespace ks_test {

// Talks to the recording writer that the unit tests put first on the library path.
// Loads it (by bare name, as the library does) and binds the library's writer to it.
bool bindRecordingWriter();
// The calls recorded since the last reset, one per line.
std::string writerCalls();
std::vector<std::string> writerCallLines();
// The recorded calls whose line starts with any of the prefixes, in call order.
std::vector<std::string> writerCallsStartingWith(std::initializer_list<const char*> prefixes);
void resetWriterCalls();
void setWriterResult(const char* function, int code);

}  // namespace ks_test
