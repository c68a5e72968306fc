/* The library's C interface: plain C99, callable from any compiler and any language that can
 * call C (C#, Delphi, Python's ctypes, Rust, Go). It is the same library as the C++ interface,
 * exported from the same shared library; each function is a thin adapter over the C++ calls of
 * <ks_formats/api.h>, <ks_formats/import_batch.h>, <ks_formats/diagnostics.h> and
 * <ks_formats/format_capabilities.h>, so the two cannot behave differently.
 *
 * Conventions
 * - Every function uses the C calling convention (cdecl) and fixed-size types. Nothing of C++
 *   crosses: no exception leaves a function, whatever happens inside.
 * - Results are the library's codes: KSF_SUCCESS (1) and the failure codes below; a code of the
 *   writer library is passed on unchanged (it shares the numbering). A call refused at this
 *   boundary (a null or unknown handle, a null pointer, text that is not UTF-8, a setting that
 *   does not exist) answers KSF_INVALID_ARGUMENT (-1), or KSF_INVALID_BATCH (5) for a handle.
 * - Every failing call leaves a reason on the calling thread: ksf_last_error().
 * - Text is UTF-8 (char) or UTF-16 (uint16_t, the "_w" functions), zero-terminated.
 * - A text result is copied into the caller's buffer. The function answers the size the text
 *   needs, its terminating zero included (in bytes for UTF-8, in units for UTF-16), and copies
 *   it only when capacity is at least that; 0 means the call failed. Call with a null buffer
 *   and capacity 0 to learn the size.
 *
 * Threads
 * - A process converts one batch at a time, on the thread that calls ksf_convert.
 * - ksf_cancel may be called from any thread while a conversion runs.
 * - A batch is used from one thread at a time otherwise.
 * - Callbacks run on the converting thread, inside ksf_convert. They may call any function of
 *   this interface; what would break the running conversion is refused (ksf_convert of a batch
 *   being converted), and ksf_batch_destroy of the converting batch takes effect when
 *   ksf_convert returns.
 */
#ifndef KS_FORMATS_C_H
#define KS_FORMATS_C_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define KSF_CALL __cdecl
#if defined(KSF_BUILDING_LIBRARY)
#define KSF_API __declspec(dllexport)
#else
#define KSF_API __declspec(dllimport)
#endif
#else
#define KSF_CALL
#define KSF_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- results ---- */

#define KSF_SUCCESS 1
#define KSF_FAILED 2
#define KSF_OUTPUT_FAILED 3
#define KSF_INVALID_BATCH 5
#define KSF_UNSUPPORTED_FILE_TYPE 10
#define KSF_CANNOT_OPEN_FILE 11
#define KSF_CANCELLED 12
#define KSF_INVALID_ARGUMENT (-1)

/* The version of the C interface: functions are only ever added within one version. */
#define KSF_INTERFACE_VERSION 1

/* The reason of the last call on this thread that failed, in UTF-8; "" when none has. Valid
 * until the next failing call on this thread. Never null. */
KSF_API const char* KSF_CALL ksf_last_error(void);

/* The library's version ("0.1.0") and the interface version it implements. */
KSF_API const char* KSF_CALL ksf_version(void);
KSF_API int32_t KSF_CALL ksf_interface_version(void);

/* Registers the input handlers and loads the writer library. Call once, before any batch is
 * made; a later call registers the handlers again (lookups are not affected). */
KSF_API int32_t KSF_CALL ksf_initialize(void);

/* Lets conversions take NOX files as inputs, binding the viewer library from library_utf8 (or,
 * when null, from the folder of the running program). */
KSF_API int32_t KSF_CALL ksf_enable_nox_input(const char* library_utf8);

/* ---- batches ---- */

/* A batch: its settings, import files, output name and results. Opaque; a handle is never
 * reused, so a destroyed one is refused (KSF_INVALID_BATCH) rather than mistaken for another. */
typedef struct ksf_batch ksf_batch;

/* Makes a batch; creator_utf8 (may be null) is the application named in the files' audit tag.
 * Null when the library is not initialised or memory runs out. */
KSF_API ksf_batch* KSF_CALL ksf_batch_create(const char* creator_utf8);
/* Frees the batch and everything it owns. Null and unknown handles are ignored. */
KSF_API void KSF_CALL ksf_batch_destroy(ksf_batch* batch);

/* ---- settings ---- */

/* Every setting of a batch, set and read as a double: whole numbers and flags (0 off, anything
 * else on) are exact in it. A whole-number setting refuses a value with a fraction. */
typedef enum ksf_setting {
    KSF_SETTING_BATCH_MODE = 1,            /* 1 per scan, 2 per input file, 3 one file */
    KSF_SETTING_COMPRESSION_TOLERANCE = 2, /* metres; below 1e-6 stored as 0 (lossless) */
    KSF_SETTING_AUTO_COMPRESSION_TOLERANCE = 3,
    KSF_SETTING_SPATIAL_FILTERING = 4, /* metres between kept points; -1 keeps all */
    KSF_SETTING_UNITS_PER_METER = 5,
    KSF_SETTING_INCLUDE_RGB = 6,
    KSF_SETTING_INCLUDE_INTENSITY = 7,
    KSF_SETTING_INCLUDE_NORMALS = 8,
    KSF_SETTING_INCLUDE_CLASSIFICATION = 9,
    KSF_SETTING_GENERATE_NORMALS = 10,
    KSF_SETTING_COMBINE_CLOUDS = 11,
    KSF_SETTING_NORMALIZE_INTENSITIES = 12,
    KSF_SETTING_MINIMUM_SCAN_SIZE = 13,   /* grid scans with fewer rows or columns are left out */
    KSF_SETTING_COLOUR_BITS = 14,         /* 8 or 16; stored only */
    KSF_SETTING_RECURSIVE_SEARCH = 15,    /* search paths are searched with their sub-folders */
    KSF_SETTING_FEEDBACK_COUNT = 16,      /* points between progress reports; 0 stored as 1 */
    KSF_SETTING_PROJECT_DATA_SOURCE = 17, /* 0 point database, 1 scan files */
    KSF_SETTING_PROJECT_INTENSITY_SOURCE = 18, /* 0 reflectance, 1 amplitude */
    KSF_SETTING_PROJECT_REFLECTANCE_SCALE = 19,
    /* The column layout of generic text inputs; stored for the host, never read. */
    KSF_SETTING_TEXT_X_COLUMN = 20,
    KSF_SETTING_TEXT_Y_COLUMN = 21,
    KSF_SETTING_TEXT_Z_COLUMN = 22,
    KSF_SETTING_TEXT_NORMAL_X_COLUMN = 23,
    KSF_SETTING_TEXT_NORMAL_Y_COLUMN = 24,
    KSF_SETTING_TEXT_NORMAL_Z_COLUMN = 25,
    KSF_SETTING_TEXT_INTENSITY_COLUMN = 26,
    KSF_SETTING_TEXT_RED_COLUMN = 27,
    KSF_SETTING_TEXT_GREEN_COLUMN = 28,
    KSF_SETTING_TEXT_BLUE_COLUMN = 29,
    KSF_SETTING_TEXT_CLASSIFICATION_COLUMN = 30,
    KSF_SETTING_TEXT_INTENSITY_LOW = 31,
    KSF_SETTING_TEXT_INTENSITY_HIGH = 32,
    KSF_SETTING_TEXT_RGB_LOW = 33,
    KSF_SETTING_TEXT_RGB_HIGH = 34
} ksf_setting;

KSF_API int32_t KSF_CALL ksf_batch_set(ksf_batch* batch, int32_t setting, double value);
KSF_API int32_t KSF_CALL ksf_batch_get(const ksf_batch* batch, int32_t setting, double* value);

/* The folder of the 32-bit extension; derived from the companion library when never set. */
KSF_API int32_t KSF_CALL ksf_batch_set_formats_folder(ksf_batch* batch, const char* folder_utf8);

/* ---- import files and output ---- */

/* Adds an import file (included, placed by the identity matrix). */
KSF_API int32_t KSF_CALL ksf_batch_add_import_file(ksf_batch* batch, const char* path_utf8);
KSF_API int32_t KSF_CALL ksf_batch_add_import_file_w(ksf_batch* batch, const uint16_t* path);
/* Adds a folder whose files of a known kind the conversion takes as import files. */
KSF_API int32_t KSF_CALL ksf_batch_add_search_path(ksf_batch* batch, const char* path_utf8);
KSF_API int32_t KSF_CALL ksf_batch_add_search_path_w(ksf_batch* batch, const uint16_t* path);
KSF_API int32_t KSF_CALL ksf_batch_remove_import_files(ksf_batch* batch);
/* The number of import files, -1 for a bad handle. */
KSF_API int32_t KSF_CALL ksf_batch_import_count(const ksf_batch* batch);
/* The name of import file index (see "A text result" above). */
KSF_API int32_t KSF_CALL ksf_batch_import_name(const ksf_batch* batch, int32_t index, char* buffer,
                                               int32_t capacity);
/* Whether import file index is converted (1) or left out (0). */
KSF_API int32_t KSF_CALL ksf_batch_set_included(ksf_batch* batch, int32_t index, int32_t on);
/* The registration matrix of import file index: 16 doubles, row by row, translation in
 * elements 3, 7 and 11. */
KSF_API int32_t KSF_CALL ksf_batch_set_matrix(ksf_batch* batch, int32_t index,
                                              const double matrix[16]);
KSF_API int32_t KSF_CALL ksf_batch_get_matrix(const ksf_batch* batch, int32_t index,
                                              double matrix[16]);
/* The output: a file name (whole-batch mode), a folder, or a name with "*" for the input's
 * name. At most 511 UTF-16 units; a longer name is refused by the conversion. */
KSF_API int32_t KSF_CALL ksf_batch_set_output(ksf_batch* batch, const char* path_utf8);
KSF_API int32_t KSF_CALL ksf_batch_set_output_w(ksf_batch* batch, const uint16_t* path);

/* Fills the batch with the scans of a project file, each with its registration matrix. */
KSF_API int32_t KSF_CALL ksf_create_batch_from_project(ksf_batch* batch, const char* path_utf8);
KSF_API int32_t KSF_CALL ksf_create_batch_from_project_w(ksf_batch* batch, const uint16_t* path);

/* ---- progress, errors and the point filter ---- */

/* The host's callbacks, called on the converting thread. Either may be null. The names are
 * the import file's (the output file's while the output is built: phase 3), in both forms;
 * they are valid during the call. reason_utf8 says what went wrong and where. */
typedef struct ksf_feedback {
    void* user;
    void(KSF_CALL* progress)(void* user, ksf_batch* batch, const char* file_utf8,
                             const uint16_t* file, int32_t overall, int32_t file_percent,
                             int32_t file_index, int32_t phase);
    void(KSF_CALL* error)(void* user, ksf_batch* batch, const char* file_utf8, const uint16_t* file,
                          int32_t result, int32_t file_index, int32_t phase,
                          const char* reason_utf8);
} ksf_feedback;

/* Copies the callbacks into the batch; null removes them. */
KSF_API int32_t KSF_CALL ksf_batch_set_feedback(ksf_batch* batch, const ksf_feedback* feedback);

/* Called for every point before it is written: it may change the point in place (xyz in
 * metres, rgb, intensity, normal (may be null), classification); answering 0 writes a null
 * point in its place. */
typedef int32_t(KSF_CALL* ksf_point_filter)(void* user, double* xyz, uint8_t* rgb,
                                            int16_t* intensity, float* normal,
                                            uint8_t* classification);
/* Sets the filter (null removes it). */
KSF_API int32_t KSF_CALL ksf_batch_set_point_filter(ksf_batch* batch, ksf_point_filter filter,
                                                    void* user);

/* ---- converting ---- */

/* Converts the batch on the calling thread and returns when it is finished, failed or
 * cancelled. Failures of single files are reported and do not stop the others. */
KSF_API int32_t KSF_CALL ksf_convert(ksf_batch* batch);
/* Asks a running conversion of the batch to stop; it does not wait. Any thread. Answers
 * KSF_CANCELLED, or KSF_INVALID_BATCH for a bad handle. */
KSF_API int32_t KSF_CALL ksf_cancel(ksf_batch* batch);

/* ---- results of the last conversion ---- */

/* The files written, -1 for a bad handle. */
KSF_API int32_t KSF_CALL ksf_batch_exported_count(const ksf_batch* batch);
KSF_API int32_t KSF_CALL ksf_batch_exported_name(const ksf_batch* batch, int32_t index,
                                                 char* buffer, int32_t capacity);
KSF_API int32_t KSF_CALL ksf_batch_exported_name_w(const ksf_batch* batch, int32_t index,
                                                   uint16_t* buffer, int32_t capacity);

/* One failure of the last conversion. The texts belong to the batch and stay valid until its
 * next conversion starts or it is destroyed. */
typedef struct ksf_failure {
    int32_t file_index; /* -1 before the file loop */
    int32_t result;
    int32_t phase; /* 1 setup, 2 reading, 3 building the output */
    const char* file_utf8;
    const char* reason_utf8;
} ksf_failure;

/* One input the last conversion left out on purpose. */
typedef struct ksf_skipped_input {
    int32_t file_index;
    int32_t cause; /* 1 marked as not included, 2 a grid scan below the minimum size */
    const char* file_utf8;
    const char* reason_utf8;
} ksf_skipped_input;

KSF_API int32_t KSF_CALL ksf_batch_failure_count(const ksf_batch* batch);
KSF_API int32_t KSF_CALL ksf_batch_failure(const ksf_batch* batch, int32_t index,
                                           ksf_failure* failure);
KSF_API int32_t KSF_CALL ksf_batch_skipped_count(const ksf_batch* batch);
KSF_API int32_t KSF_CALL ksf_batch_skipped(const ksf_batch* batch, int32_t index,
                                           ksf_skipped_input* input);

/* ---- formats ---- */

/* The input handlers registered by ksf_initialize, in lookup order, and each one's format. */
KSF_API int32_t KSF_CALL ksf_input_format_count(void);
KSF_API int32_t KSF_CALL ksf_input_format_id(int32_t index);

/* A format of the capability table (format ids as in <ks_formats/format_capabilities.h>). */
typedef struct ksf_format_info {
    int32_t id;
    const char* name; /* static texts */
    const char* extension;
    int32_t info_flag1;
    int32_t info_flag2;
    int32_t exposable;
    int32_t parameter_count;
} ksf_format_info;

/* One settable parameter of a format: type 1 whole number, 2 float, 3 double, 4 flag. */
typedef struct ksf_format_parameter {
    int32_t id;
    int32_t type;
    int32_t group1;
    int32_t group2;
    int32_t has_value; /* 0 when the table gives no default and limits */
    double value;
    double minimum;
    double maximum;
} ksf_format_parameter;

/* KSF_SUCCESS with the format's record; KSF_INVALID_ARGUMENT for an id without one. */
KSF_API int32_t KSF_CALL ksf_format_info_of(int32_t format_id, ksf_format_info* info);
KSF_API int32_t KSF_CALL ksf_format_parameter_at(int32_t format_id, int32_t index,
                                                 ksf_format_parameter* parameter);

#ifdef __cplusplus
}
#endif

#endif /* KS_FORMATS_C_H */
