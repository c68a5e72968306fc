/* convert_project PROJECT.rsp OUTPUT [MODE [SOURCE]]: converts a scan project through the
 * library's C interface, printing live progress, every failure with its reason and the files
 * written. OUTPUT is a file in mode 3 (one file, the default) and a folder in modes 1 (one file
 * per scan) and 2 (one per input file). SOURCE is "rdb" (the project's point database, the
 * default) or "scan" (its scan files). Plain C99; it builds with any C compiler, for Windows with
 * Microsoft's ABI as well as MinGW's. */
#include <ks_formats/ks_formats_c.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void KSF_CALL on_progress(void* user, ksf_batch* batch, const char* file_utf8,
                                 const uint16_t* file, int32_t overall, int32_t file_percent,
                                 int32_t file_index, int32_t phase) {
    (void)user;
    (void)batch;
    (void)file_utf8;
    (void)file;
    printf("\rfile %d %s %3d%%, overall %3d%%", (int)file_index + 1,
           phase == 3 ? "writing" : "reading", (int)file_percent, (int)overall);
    fflush(stdout);
}

static void KSF_CALL on_error(void* user, ksf_batch* batch, const char* file_utf8,
                              const uint16_t* file, int32_t result, int32_t file_index,
                              int32_t phase, const char* reason_utf8) {
    int* errors = (int*)user;
    (void)batch;
    (void)file;
    (void)phase;
    ++*errors;
    fprintf(stderr, "\nfile %d (%s): error %d: %s\n", (int)file_index + 1, file_utf8, (int)result,
            reason_utf8);
}

static int fail(const char* what) {
    fprintf(stderr, "%s: %s\n", what, ksf_last_error());
    return 1;
}

int main(int argc, char** argv) {
    ksf_batch* batch;
    ksf_feedback feedback;
    int errors = 0;
    int32_t result, count, i;
    int status = 0;
    const int mode = argc > 3 ? atoi(argv[3]) : 3;
    const int from_scan_files = argc > 4 && strcmp(argv[4], "scan") == 0;

    if (argc < 3) {
        fprintf(stderr, "usage: convert_project PROJECT.rsp OUTPUT [MODE [rdb|scan]]\n");
        return 2;
    }
    printf("library %s, C interface %d\n", ksf_version(), (int)ksf_interface_version());
    if (ksf_initialize() != KSF_SUCCESS) return fail("initialize");
    batch = ksf_batch_create("convert_project");
    if (!batch) return fail("batch");

    feedback.user = &errors;
    feedback.progress = on_progress;
    feedback.error = on_error;
    if (ksf_batch_set_feedback(batch, &feedback) != KSF_SUCCESS ||
        ksf_batch_set(batch, KSF_SETTING_BATCH_MODE, mode) != KSF_SUCCESS ||
        ksf_batch_set(batch, KSF_SETTING_PROJECT_DATA_SOURCE, from_scan_files) != KSF_SUCCESS ||
        ksf_batch_set_output(batch, argv[2]) != KSF_SUCCESS ||
        ksf_batch_add_import_file(batch, argv[1]) != KSF_SUCCESS) {
        status = fail("settings");
    } else {
        result = ksf_convert(batch);
        printf("\n");
        if (result != KSF_SUCCESS) status = fail("convert");
        count = ksf_batch_exported_count(batch);
        for (i = 0; i < count; ++i) {
            char name[1024];
            if (ksf_batch_exported_name(batch, i, name, (int32_t)sizeof name) > 0)
                printf("exported %s\n", name);
        }
        if (errors > 0) status = 1;
    }
    ksf_batch_destroy(batch);
    return status;
}
