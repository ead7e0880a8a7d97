// The byte layout of libLenswarp's records on the 32-bit target, checked at compile time against
// whichever lenswarp_api.h the build uses (ours, or the maker's on a board). A header whose records
// differ stops the build here, naming the field, instead of breaking the library's ABI silently.
// FecOnlineConfig holds no pointer-sized field, so its layout is checked on every target.
#ifndef LENSWARP_API_LAYOUT_H
#define LENSWARP_API_LAYOUT_H

#include <lenswarp_api.h>
#include <stddef.h>
#include <stdint.h>

#define LENSWARP_RECORD_SIZE(record, bytes) \
  static_assert(sizeof(record) == (bytes), "libLenswarp ABI: sizeof " #record " must be " #bytes)
#define LENSWARP_FIELD_AT(record, field, offset)     \
  static_assert(offsetof(record, field) == (offset), \
                "libLenswarp ABI: " #record "." #field " must lie at byte " #offset)

LENSWARP_RECORD_SIZE(FecOnlineConfig, 72);
LENSWARP_FIELD_AT(FecOnlineConfig, light_center, 0);
LENSWARP_FIELD_AT(FecOnlineConfig, coeff, 16);
LENSWARP_FIELD_AT(FecOnlineConfig, direction, 48);
LENSWARP_FIELD_AT(FecOnlineConfig, style, 52);
LENSWARP_FIELD_AT(FecOnlineConfig, correct_level, 56);
LENSWARP_FIELD_AT(FecOnlineConfig, calib_width, 60);
LENSWARP_FIELD_AT(FecOnlineConfig, calib_height, 64);
LENSWARP_FIELD_AT(FecOnlineConfig, calib_level_maxLimit, 68);

#if UINTPTR_MAX == 0xFFFFFFFFu

LENSWARP_RECORD_SIZE(FecConfig, 408);
LENSWARP_FIELD_AT(FecConfig, header, 0);
LENSWARP_FIELD_AT(FecConfig, size, 4);
LENSWARP_FIELD_AT(FecConfig, width, 8);
LENSWARP_FIELD_AT(FecConfig, height, 12);
LENSWARP_FIELD_AT(FecConfig, out_width, 16);
LENSWARP_FIELD_AT(FecConfig, out_height, 20);
LENSWARP_FIELD_AT(FecConfig, pixelformat, 24);
LENSWARP_FIELD_AT(FecConfig, out_pixelformat, 28);
LENSWARP_FIELD_AT(FecConfig, border_mode, 32);
LENSWARP_FIELD_AT(FecConfig, cross_buf_mode, 36);
LENSWARP_FIELD_AT(FecConfig, bg_y, 40);
LENSWARP_FIELD_AT(FecConfig, bg_u, 44);
LENSWARP_FIELD_AT(FecConfig, bg_v, 48);
LENSWARP_FIELD_AT(FecConfig, mesh_fd, 52);
LENSWARP_FIELD_AT(FecConfig, mesh_vaddr, 56);
LENSWARP_FIELD_AT(FecConfig, mesh_size, 60);
LENSWARP_FIELD_AT(FecConfig, mesh_name, 64);
LENSWARP_FIELD_AT(FecConfig, mesh_mode, 128);
LENSWARP_FIELD_AT(FecConfig, reserved, 132);
LENSWARP_FIELD_AT(FecConfig, online, 136);
LENSWARP_FIELD_AT(FecConfig, mesh_dir, 136);
LENSWARP_FIELD_AT(FecConfig, offset_x, 264);
LENSWARP_FIELD_AT(FecConfig, out_offset_x, 268);
LENSWARP_FIELD_AT(FecConfig, stride, 272);
LENSWARP_FIELD_AT(FecConfig, out_stride, 276);
LENSWARP_FIELD_AT(FecConfig, ini_path, 280);

LENSWARP_RECORD_SIZE(FecMeshConfig, 264);
LENSWARP_FIELD_AT(FecMeshConfig, mode, 0);
LENSWARP_FIELD_AT(FecMeshConfig, online_config, 8);
LENSWARP_FIELD_AT(FecMeshConfig, path, 8);
LENSWARP_FIELD_AT(FecMeshConfig, dma_fd, 8);
LENSWARP_FIELD_AT(FecMeshConfig, vaddr, 12);
LENSWARP_FIELD_AT(FecMeshConfig, size, 16);
LENSWARP_FIELD_AT(FecMeshConfig, use_vaddr, 20);

LENSWARP_RECORD_SIZE(DmaBuffer, 24);
static_assert(alignof(DmaBuffer) == 8, "libLenswarp ABI: DmaBuffer must be 8-byte aligned");
LENSWARP_FIELD_AT(DmaBuffer, handle, 0);
LENSWARP_FIELD_AT(DmaBuffer, fd, 4);
LENSWARP_FIELD_AT(DmaBuffer, size, 8);
LENSWARP_FIELD_AT(DmaBuffer, vaddr, 16);

#endif  // 32-bit target

#undef LENSWARP_RECORD_SIZE
#undef LENSWARP_FIELD_AT

#endif  // LENSWARP_API_LAYOUT_H
