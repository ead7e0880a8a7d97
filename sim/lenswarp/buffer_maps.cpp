#include "buffer_maps.h"

#include <errno.h>
#include <stdint.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lenswarp {

BufferMaps::~BufferMaps() {
  for (Slot &s : mSlots) {
    if (s.used) munmap(s.addr, s.len);
  }
}

int BufferMaps::get(int fd, bool writable, BufferView *view) {
  struct stat st;
  if (fstat(fd, &st) != 0) return errno;
  // DMA-buf descriptors report no size in fstat; their end is where a seek to the end lands.
  off_t end = lseek(fd, 0, SEEK_END);
  if (end < 0) return errno;
  if (end == 0) return EINVAL;
  // A 32-bit process cannot map more than its address space, whatever the descriptor holds.
  if ((uint64_t)end > SIZE_MAX) return ENOMEM;
  const size_t len = (size_t)end;
  Slot *victim = &mSlots[0];
  for (Slot &s : mSlots) {
    if (s.used && s.dev == st.st_dev && s.ino == st.st_ino && s.len == len &&
        s.writable == writable) {
      s.last_use = ++mClock;
      *view = {s.addr, s.len, s.dev, s.ino};
      return 0;
    }
    if (!s.used || (victim->used && s.last_use < victim->last_use)) victim = &s;
  }
  void *addr = mmap(nullptr, len, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, fd, 0);
  if (addr == MAP_FAILED) return errno;
  if (victim->used) munmap(victim->addr, victim->len);
  *victim = {true, st.st_dev, st.st_ino, len, writable, static_cast<uint8_t *>(addr), ++mClock};
  *view = {victim->addr, len, st.st_dev, st.st_ino};
  return 0;
}

int BufferMaps::held() const {
  int n = 0;
  for (const Slot &s : mSlots) n += s.used ? 1 : 0;
  return n;
}

}  // namespace lenswarp
