/* Point-stream reading interface: open a stream by URI, read records in blocks, close it.
   Every function answers 0 on success and a non-zero code on failure. */
#ifndef KS_SCANIFC_H
#define KS_SCANIFC_H

#include <stdint.h>

/* The library exports these functions; on Windows its users import them from scanifc-mt.dll. */
#if defined(_WIN32) && defined(SCANIFC_BUILDING)
#define SCANIFC_API __declspec(dllexport)
#elif defined(_WIN32)
#define SCANIFC_API __declspec(dllimport)
#else
#define SCANIFC_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct scanifc_stream* point3dstream_handle;

typedef struct {
    float x, y, z;
} scanifc_xyz32; /* 12 bytes */

typedef struct {
    float amplitude, reflectance;
    uint16_t deviation, flags;
    float background_radiation;
} scanifc_attributes; /* 16 bytes */

SCANIFC_API int scanifc_point3dstream_open(const char* uri, int flag, point3dstream_handle* stream);
SCANIFC_API int scanifc_point3dstream_read(point3dstream_handle stream, uint32_t want,
                                           scanifc_xyz32* xyz, scanifc_attributes* attributes,
                                           uint64_t* times, uint32_t* got, int32_t* endOfFrame);
SCANIFC_API int scanifc_point3dstream_close(point3dstream_handle stream);

#ifdef __cplusplus
}
#endif

#endif /* KS_SCANIFC_H */
