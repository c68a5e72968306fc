/* The program's entry for a build without a C runtime library of its own (/nodefaultlib): it
 * takes the command line from msvcrt.dll, as a runtime's startup code does, and runs main. */
#include <stdlib.h>

typedef struct {
    int new_mode;
} startup_info;

__declspec(dllimport) int __cdecl __getmainargs(int* argc, char*** argv, char*** env, int wildcards,
                                                startup_info* info);
int main(int argc, char** argv);

/* The compiler references it in every object that uses floating point. */
int _fltused = 0;

void __cdecl mainCRTStartup(void) {
    int argc = 0;
    char** argv = 0;
    char** env = 0;
    startup_info info = {0};
    __getmainargs(&argc, &argv, &env, 0, &info);
    exit(main(argc, argv));
}
