// warpbench hands its records to libLenswarp by address: on the 32-bit target the build stops here
// if the library header in use lays them out otherwise than warpbench was written for.
#include <lenswarp_api_layout.h>
