#include "dump_buffer.h"

#include <stdlib.h>
#include <sys/mman.h>

namespace {

constexpr size_t kHugePage = 2u << 20;

}  // namespace

char *allocateDumpBuffer(size_t size) {
  // calloc: a small dump, or one that is announced but never arrives, costs no touched memory.
  if (size < kHugePage) return static_cast<char *>(calloc(size > 0 ? size : 1, 1));
  // Aligned to a huge page and marked for them: 64 MiB then faults in 32 times rather than 16384
  // (where the kernel grants transparent huge pages on request; elsewhere the advice is ignored).
  // The whole dump overwrites it before anything is read, so it needs no zeroing.
  void *p = nullptr;
  if (posix_memalign(&p, kHugePage, size) != 0) return nullptr;
  madvise(p, size / kHugePage * kHugePage, MADV_HUGEPAGE);
  return static_cast<char *>(p);
}
