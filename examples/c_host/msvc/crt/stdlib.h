#ifndef KS_MSVCRT_STDLIB_H
#define KS_MSVCRT_STDLIB_H
/* stdlib of msvcrt.dll, as far as the example uses it */
__declspec(dllimport) int __cdecl atoi(const char* text);
__declspec(dllimport) __declspec(noreturn) void __cdecl exit(int status);
#endif
