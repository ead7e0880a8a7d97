// Exercises of the library's run-time configuration calls, run from the key console while frames
// keep flowing. Each returns 0 when all its iterations succeeded, else the failing call's result.
#ifndef WARPBENCH_MESH_EXERCISES_H
#define WARPBENCH_MESH_EXERCISES_H

#include <lenswarp_api.h>
#include <stddef.h>

// Toggles FecConfig's online correct_level, ten times.
int api_test_set_cfg(FecContext ctx);
// Mesh generated online, with the correct_level toggled, ten times.
int api_test_mesh_online(FecContext ctx);
// Mesh file path, switched between the two fixed mesh files, ten times.
int api_test_mesh_from_file(FecContext ctx);
// Mesh in heap memory, handed over by address, ten times.
int api_test_mesh_from_vaddr(FecContext ctx);
// Mesh in the run's mesh DMA buffers, handed over by descriptor, ten times.
int api_test_mesh_from_dma_fd(FecContext ctx);
// Prints the current mesh configuration once.
int api_test_get_mesh(FecContext ctx);

// How an exercise pauses after each iteration, given the microseconds it prescribes; null puts
// the sleep back. Tests put a recorder in its place, so they need not wait out the pauses.
using ExercisePause = void (*)(unsigned int microseconds);
void set_exercise_pause(ExercisePause pause);

// Loads a mesh file of exactly `buf_size` bytes (the mesh size) into `buf`: 0, or -1 with errno
// set when it cannot be opened or read whole, is no regular file (EISDIR for a directory, else
// EINVAL; a FIFO is never waited on) or has another length (EINVAL, `buf` untouched). Says why.
int read_mesh_file(const char *path, void *buf, size_t buf_size);

#endif  // WARPBENCH_MESH_EXERCISES_H
