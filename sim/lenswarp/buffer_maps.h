// The engine's mappings of picture buffers, kept from frame to frame.
//
// Descriptor numbers are reused once closed, so a mapping is known by the file behind the
// descriptor (device, inode and length) and by its access, never by the number alone; a mapping
// holds its file open, so its inode cannot be reused while it is cached.
#ifndef SIM_LENSWARP_BUFFER_MAPS_H
#define SIM_LENSWARP_BUFFER_MAPS_H

#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

namespace lenswarp {

struct BufferView {
  uint8_t *addr = nullptr;
  size_t len = 0;
  dev_t dev = 0;  // the file behind it
  ino_t ino = 0;
};

class BufferMaps {
 public:
  BufferMaps() = default;
  ~BufferMaps();
  BufferMaps(const BufferMaps &) = delete;
  BufferMaps &operator=(const BufferMaps &) = delete;

  // The whole buffer behind `fd`, mapped shared, writable when asked. Maps it on first use and
  // keeps it; with all slots taken, the least recently used mapping is dropped. Returns 0, or an
  // errno value (EINVAL for a descriptor of length 0). Not thread-safe: one frame at a time.
  int get(int fd, bool writable, BufferView *view);

  // How many mappings are held (for tests).
  int held() const;

 private:
  static constexpr int kSlots = 8;
  struct Slot {
    bool used = false;
    dev_t dev = 0;
    ino_t ino = 0;
    size_t len = 0;
    bool writable = false;
    uint8_t *addr = nullptr;
    uint64_t last_use = 0;
  };
  Slot mSlots[kSlots];
  uint64_t mClock = 0;
};

}  // namespace lenswarp

#endif  // SIM_LENSWARP_BUFFER_MAPS_H
