// A stand-in for the maker's libLenswarp.so in the board-build test: every operation warpbench
// links against, each refusing with ENOSYS. It is only linked, never asked to correct a frame.
// Built with FAKE_MAKER_WITHOUT_SET_MESH_CONFIG, it lacks one operation, as camtools-check's test
// needs. Built with FAKE_MAKER_MISBEHAVING_INIT, for camtools-check's test too, its allocator
// hands out buffers (without memory) and init does what FAKE_LENSWARP_INIT says: "hang", "crash"
// (a bad pointer), "exit" (_exit(0)) or "signal" (SIGTERM); anything else refuses.
#include <errno.h>
#include <lenswarp_api.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

int refuse() {
  errno = ENOSYS;
  return -1;
}

#ifdef FAKE_MAKER_MISBEHAVING_INIT
bool misbehaving(const char *how) {
  const char *chosen = getenv("FAKE_LENSWARP_INIT");
  return chosen != nullptr && strcmp(chosen, how) == 0;
}

// Allocating or freeing succeeds: the probe must reach init.
int give() {
  return 0;
}
#define ALLOCATOR_RESULT give()
#else
#define ALLOCATOR_RESULT refuse()
#endif

}  // namespace

FAKE_EXPORT int tq_lenswarp_api_load_online_config_from_ini(const char *, FecOnlineConfig *) {
  return refuse();
}
FAKE_EXPORT FecContext tq_lenswarp_api_init(FecConfig *) {
#ifdef FAKE_MAKER_MISBEHAVING_INIT
  if (misbehaving("hang")) {
    for (;;) pause();
  }
  if (misbehaving("crash")) {
    // Through a pointer the compiler cannot see is null, so that the store is made and faults.
    int *volatile nowhere = nullptr;
    *nowhere = 1;
  }
  if (misbehaving("exit")) _exit(0);
  if (misbehaving("signal")) raise(SIGTERM);
#endif
  refuse();
  return nullptr;
}
FAKE_EXPORT int tq_lenswarp_api_process(FecContext, int, int) {
  return refuse();
}
FAKE_EXPORT int tq_lenswarp_api_deinit(FecContext) {
  return refuse();
}
FAKE_EXPORT int tq_lenswarp_api_get_cfg(FecContext, FecConfig *) {
  return refuse();
}
FAKE_EXPORT int tq_lenswarp_api_set_cfg(FecContext, FecConfig *) {
  return refuse();
}
FAKE_EXPORT int tq_lenswarp_api_get_mesh_config(FecContext, FecMeshConfig *) {
  return refuse();
}
#ifndef FAKE_MAKER_WITHOUT_SET_MESH_CONFIG
FAKE_EXPORT int tq_lenswarp_api_set_mesh_config(FecContext, FecMeshConfig *) {
  return refuse();
}
#endif
FAKE_EXPORT int tq_lenswarp_api_calFecMeshsize(int, int) {
  return 0;
}
FAKE_EXPORT int tq_lenswarp_api_vb_init(void) {
  return ALLOCATOR_RESULT;
}
FAKE_EXPORT int tq_lenswarp_api_vb_alloc(int, uint32_t, DmaBuffer *buf) {
  buf->fd = -1;
  return ALLOCATOR_RESULT;
}
FAKE_EXPORT int tq_lenswarp_api_vb_free(int, DmaBuffer *) {
  return ALLOCATOR_RESULT;
}
FAKE_EXPORT int tq_lenswarp_api_vb_deinit(int) {
  return ALLOCATOR_RESULT;
}
