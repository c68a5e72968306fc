#pragma once

// Symbols a host may call carry KS_API; everything else in the library stays hidden.
#if defined(_WIN32)
#define KS_API __declspec(dllexport)
#else
#define KS_API __attribute__((visibility("default")))
#endif
