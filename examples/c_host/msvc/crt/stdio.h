#ifndef KS_MSVCRT_STDIO_H
#define KS_MSVCRT_STDIO_H
/* stdio of msvcrt.dll, as far as the example uses it: its FILE and its three streams */
typedef struct _iobuf {
    char* _ptr;
    int _cnt;
    char* _base;
    int _flag;
    int _file;
    int _charbuf;
    int _bufsiz;
    char* _tmpfname;
} FILE;
__declspec(dllimport) FILE* __cdecl __iob_func(void);
#define stdout (&__iob_func()[1])
#define stderr (&__iob_func()[2])
__declspec(dllimport) int __cdecl printf(const char* format, ...);
__declspec(dllimport) int __cdecl fprintf(FILE* stream, const char* format, ...);
__declspec(dllimport) int __cdecl fflush(FILE* stream);
#endif
