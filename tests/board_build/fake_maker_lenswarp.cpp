// A stand-in for the maker's libLenswarp.so in the board-build test: every operation warpbench
// links against, each refusing with ENOSYS. It is only linked, never asked to correct a frame.
// Built with FAKE_MAKER_WITHOUT_SET_MESH_CONFIG, it lacks one operation, as camtools-check's test
// needs.
#include <errno.h>
#include <lenswarp_api.h>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

int refuse() {
  errno = ENOSYS;
  return -1;
}

}  // namespace

FAKE_EXPORT int tq_lenswarp_api_load_online_config_from_ini(const char *, FecOnlineConfig *) {
  return refuse();
}
FAKE_EXPORT FecContext tq_lenswarp_api_init(FecConfig *) {
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
  return refuse();
}
FAKE_EXPORT int tq_lenswarp_api_vb_alloc(int, uint32_t, DmaBuffer *) {
  return refuse();
}
FAKE_EXPORT int tq_lenswarp_api_vb_free(int, DmaBuffer *) {
  return refuse();
}
FAKE_EXPORT int tq_lenswarp_api_vb_deinit(int) {
  return refuse();
}
