#pragma once

// The file name of a shared library of the system from its base name: "NoxWriter" is
// "NoxWriter.dll" on Windows and "libNoxWriter.so" elsewhere.
#if defined(_WIN32)
#define KS_LIBRARY_FILE(base) base ".dll"
#else
#define KS_LIBRARY_FILE(base) "lib" base ".so"
#endif
