#ifndef KS_MSVCRT_STRING_H
#define KS_MSVCRT_STRING_H
/* string of msvcrt.dll, as far as the example uses it */
__declspec(dllimport) int __cdecl strcmp(const char* a, const char* b);
#endif
