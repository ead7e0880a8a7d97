// The library's own buffer allocator: memfd-backed shared memory, handed out by descriptor like
// the platform's DMA buffers.
#include <errno.h>
#include <lenswarp_api.h>
#include <sim_buffer_names.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "call_trace.h"
#include "entry_points.h"

namespace {

// What vb_alloc handed out and vb_free has not yet taken back. Only these are freed: a record
// freed already, or one made up, would name a descriptor and an address that may since belong to
// something else.
struct Allocation {
  int handle;
  int fd;
  void *addr;
  size_t len;
};

std::mutex handles_lock;  // also guards live_allocations
std::vector<bool> open_handles;
std::vector<Allocation> live_allocations;

// The open-handle test; the caller holds handles_lock.
bool is_open_locked(int handle) {
  return handle >= 0 && (size_t)handle < open_handles.size() && open_handles[(size_t)handle];
}

bool handle_is_open(int handle) {
  std::lock_guard<std::mutex> guard(handles_lock);
  return is_open_locked(handle);
}

int alloc_buffer(int handle, uint32_t size, DmaBuffer *buf) {
  if (!handle_is_open(handle) || buf == nullptr || size == 0) return EINVAL;
  int fd = memfd_create(LENSWARP_VB_MEMFD_NAME, MFD_CLOEXEC);
  if (fd < 0) return errno;
  if (ftruncate(fd, (off_t)size) != 0) {
    int err = errno;
    close(fd);
    return err;
  }
  void *addr = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (addr == MAP_FAILED) {
    int err = errno;
    close(fd);
    return err;
  }
  {
    std::lock_guard<std::mutex> guard(handles_lock);
    live_allocations.push_back({handle, fd, addr, size});
  }
  buf->fd = fd;
  buf->size = size;
  buf->vaddr = addr;
  return 0;
}

// Takes back the allocation the record names (its handle, descriptor and address), whatever the
// record's size now says: EINVAL when it names none.
int free_buffer(int handle, const DmaBuffer *buf) {
  if (buf == nullptr) return EINVAL;
  Allocation freed;
  {
    std::lock_guard<std::mutex> guard(handles_lock);
    if (!is_open_locked(handle)) return EINVAL;
    auto it =
        std::find_if(live_allocations.begin(), live_allocations.end(), [&](const Allocation &a) {
          return a.handle == handle && a.fd == buf->fd && a.addr == buf->vaddr;
        });
    if (it == live_allocations.end()) return EINVAL;
    freed = *it;
    live_allocations.erase(it);
  }
  munmap(freed.addr, freed.len);
  close(freed.fd);
  return 0;
}

}  // namespace

LENSWARP_EXPORT int tq_lenswarp_api_vb_init(void) {
  lenswarp::TraceLine trace("vb_init", lenswarp::monotonic_ns());
  int handle;
  {
    std::lock_guard<std::mutex> guard(handles_lock);
    handle = (int)open_handles.size();
    open_handles.push_back(true);
  }
  trace.finish(handle, false, 0);
  return handle;
}

LENSWARP_EXPORT int tq_lenswarp_api_vb_alloc(int handle, uint32_t size, DmaBuffer *buf) {
  lenswarp::TraceLine trace("vb_alloc", lenswarp::monotonic_ns());
  int err = alloc_buffer(handle, size, buf);
  return lenswarp::traced_result(trace.num("handle", handle).unum("size", size).buffer("buf", buf),
                                 err);
}

LENSWARP_EXPORT int tq_lenswarp_api_vb_free(int handle, DmaBuffer *buf) {
  lenswarp::TraceLine trace("vb_free", lenswarp::monotonic_ns());
  int err = free_buffer(handle, buf);
  return lenswarp::traced_result(trace.num("handle", handle).buffer("buf", buf), err);
}

LENSWARP_EXPORT int tq_lenswarp_api_vb_deinit(int handle) {
  lenswarp::TraceLine trace("vb_deinit", lenswarp::monotonic_ns());
  int err = EINVAL;
  {
    std::lock_guard<std::mutex> guard(handles_lock);
    if (is_open_locked(handle)) {
      open_handles[(size_t)handle] = false;
      err = 0;
    }
  }
  return lenswarp::traced_result(trace.num("handle", handle), err);
}
