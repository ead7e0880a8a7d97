/* Force-included into every translation unit of the build. A 32-bit target keeps 32-bit file
 * offsets and time unless told otherwise: files past 2 GiB, map offsets above 4 GiB and dates
 * after 2038 would then fail or be cut. The build defines _FILE_OFFSET_BITS=64 and _TIME_BITS=64
 * for every target; this states at compile time that they took effect. */
#ifndef CAMTOOLS_WIDE_OFFSETS_AND_TIME_H
#define CAMTOOLS_WIDE_OFFSETS_AND_TIME_H

#include <sys/types.h>
#include <time.h>

#ifdef __cplusplus
static_assert(sizeof(off_t) == 8 && sizeof(time_t) == 8, "64-bit file offsets and time");
#else
_Static_assert(sizeof(off_t) == 8 && sizeof(time_t) == 8, "64-bit file offsets and time");
#endif

#endif
