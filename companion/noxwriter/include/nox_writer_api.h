/* C interface of the NOX writer library (libNoxWriter.so). The converter binds these functions
 * by name at run time, so any library with the same interface can stand in its place.
 * Results use the converter's numbering: 1 is success. */
#ifndef NOX_WRITER_API_H
#define NOX_WRITER_API_H

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
typedef wchar_t ksio_char; /* UTF-16 code unit */
#else
typedef char16_t ksio_char; /* UTF-16 code unit */
#endif

typedef void (*ksioProgressCallback)(float fraction); /* 0..1 */

/* Group flags */
#define KSIO_GROUP_COMBINE 1u
#define KSIO_GROUP_NORMALS 2u
#define KSIO_GROUP_NORMALISE 4u
/* Cloud flags */
#define KSIO_CLOUD_COLOUR 4u
#define KSIO_CLOUD_INTENSITY 8u
#define KSIO_CLOUD_CLASS 0x20u

int32_t ksioStartStreamW(const ksio_char* path);
int32_t ksioEndStream(void);
int32_t ksioDiscardStream(void);
int32_t ksioAddGroupW(uint32_t flags, const ksio_char* name);
int32_t ksioAddCloudW(uint32_t flags, const ksio_char* name, const double* matrix, int32_t rows,
                      int32_t columns);
int32_t ksioAddPoint(const double* xyz, const uint8_t* rgb, int16_t intensity, const float* normal,
                     uint8_t classification);
int32_t ksioAddNullPoint(void);
int32_t ksioSetCompressionTolerance(float tolerance);
int32_t ksioSetNormalQuality(int32_t quality);
int32_t ksioBuildNOXFile(void);
int32_t ksioSetProgressCallbackW(ksioProgressCallback callback);
const ksio_char* ksioGetLastErrorW(void);
int32_t ksioSpatialFiltering(float value, int32_t mode);
int32_t ksioSetUserMetaTagW(const ksio_char* name, const ksio_char* value);
int32_t ksioSetMetaTagW(const ksio_char* name, const ksio_char* value);

#ifdef __cplusplus
}
#endif

#endif
