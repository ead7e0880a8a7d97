// How this machine answers a DMA-buf sync on a buffer that is no DMA-buf, such as the memfds of
// the library's own allocator: the kernel refuses it one way, qemu-arm (which passes no such
// request on) another.
#ifndef TESTS_SUPPORT_DMA_BUF_SYNC_PROBE_H
#define TESTS_SUPPORT_DMA_BUF_SYNC_PROBE_H

#include <string>

// The strerror text of the refusal; "" if the sync was accepted.
std::string refused_sync_reason();

#endif  // TESTS_SUPPORT_DMA_BUF_SYNC_PROBE_H
