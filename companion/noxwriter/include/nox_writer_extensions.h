/* Extensions of the NOX writer library's C interface (libNoxWriter.so, NoxWriter.dll).
 *
 * The converter binds only the fifteen functions of nox_writer_api.h, so a writer that stands in
 * for this one needs nothing more. These functions are for hosts that load this writer beside the
 * converter and want more of it: they are exported like the others, but a host must look each one
 * up by name in the library it holds (dlsym, GetProcAddress) and treat a missing one as "not
 * available", never as an error of the conversion. docs/nox-format.md, "Extension functions",
 * describes them. Results use the converter's numbering: 1 is success, 23 an invalid argument;
 * ksioGetLastErrorW gives the reason of a refusal. */
#ifndef NOX_WRITER_EXTENSIONS_H
#define NOX_WRITER_EXTENSIONS_H

#include "nox_writer_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The largest number of threads that encode a stream. */
#define KSIO_MAX_THREADS 64

/* How many threads encode the chunks of streams started from now on: 1 encodes on the calling
 * thread, up to KSIO_MAX_THREADS starts that many workers; 0 goes back to the default
 * (KS_NOX_THREADS when it is set, else one per core). A stream already open keeps its count.
 * Any other value is refused with 23 and changes nothing. The file is the same whatever the
 * count. */
int32_t ksioSetThreadCount(int32_t count);

/* Removes from folder the writer's temporary files (".<name>.<pid>.<n>.part") that no writer
 * will finish: those whose process has ended, and those of the calling process itself. Call it
 * when no stream of this process writes into folder any more, or just before the process ends at
 * once; the temporary files of other processes that still run (and, on Linux, files whose lock a
 * writer holds) are kept. Other files are never touched. It reads no stream and no setting, so it
 * may be called from another thread than the one that writes. removed, when not null, receives
 * how many files were removed. A null folder, or one that cannot be listed, is refused with 23;
 * a file that cannot be removed stays and is not counted. */
int32_t ksioRemoveAbandonedSpillFilesW(const ksio_char* folder, int32_t* removed);

/* The functions' types, for binding them by name. */
typedef int32_t (*ksioSetThreadCountFunction)(int32_t count);
typedef int32_t (*ksioRemoveAbandonedSpillFilesWFunction)(const ksio_char* folder,
                                                          int32_t* removed);

#ifdef __cplusplus
}
#endif

#endif
