/* C interface of the NOX viewer library (libKestrionLyrantAPI.so). Handles are 64-bit; 0 means
 * none. Results use the converter's numbering (1 is success) unless noted. */
#ifndef LYRANT_API_H
#define LYRANT_API_H

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
typedef wchar_t ks_char; /* UTF-16 code unit */
#else
typedef char16_t ks_char; /* UTF-16 code unit */
#endif

/* Content flags of scenes and clouds */
#define KS_CONTENT_INTENSITY 0x1u
#define KS_CONTENT_COLOUR 0x2u
#define KS_CONTENT_CLASS 0x10u

/* Results (the converter's numbering) */
#define KS_RESULT_SUCCESS 1
#define KS_RESULT_INVALID_ARGUMENT 23
#define KS_RESULT_INTERNAL_ERROR 29

/* Size of the name buffers of ksSceneInfo and ksCloudInfo, in UTF-16 units with the
 * terminating zero; longer names are cut to fit */
#define KS_NAME_UNITS 256

/* Colour modes of ksSetQueryRGBMode */
#define KS_COLOUR_FROM_INTENSITY 1 /* intensity as grey */
#define KS_COLOUR_STORED 4         /* the colour stored with each point */

/* Density mode of ksSetQueryDensity: an even share of the points (factor 1 keeps all) */
#define KS_DENSITY_EVEN_SHARE 1

uint64_t ksOpenNOX(const ks_char* path);
int32_t ksRemoveScene(uint64_t scene);
int32_t ksGetNumCloudsInScene(uint64_t scene);
int32_t ksNumScenes(void);
int32_t ksGetSceneHandles(uint64_t* handles);
int32_t ksSceneInfo(uint64_t scene, ks_char* name /* KS_NAME_UNITS */, int32_t* clouds,
                    uint64_t* points, uint32_t* contentFlags, uint8_t* flagA, uint8_t* flagB);
int32_t ksCloudInfo(uint64_t scene, int32_t cloudIndex, ks_char* name /* KS_NAME_UNITS */,
                    uint64_t* points, uint32_t* contentFlags, double* matrix /* 16 */);
int32_t ksGetCoordinateBase(double* xyz);
uint64_t ksCreateVisPointsQuery(void);
int32_t ksResetQuery(uint64_t query);
int32_t ksSetQueryRGBMode(uint64_t query, int32_t mode);
int32_t ksDeleteQuery(uint64_t query);
int32_t ksSetQueryScope(uint64_t query, uint64_t scene);
int32_t ksSetQueryDensity(uint64_t query, int32_t mode, float factor);
/* Fills up to capacity points; answers how many, 0 when there are no more. */
uint32_t ksGetQueryPointsd(uint64_t query, uint32_t capacity, double* xyz, uint8_t* rgb,
                           int16_t* intensity, float* normals, uint8_t* classes);

#ifdef __cplusplus
}
#endif

#endif
