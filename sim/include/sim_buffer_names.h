// Names that parts of the simulated platform agree on. The stand-in library gives the memfds of
// its buffer allocator this name, and the simulated device knows those buffers by it (as the
// kernel shows it, "/memfd:NAME"), to accept DMA-buf sync calls on them.
#ifndef SIM_BUFFER_NAMES_H
#define SIM_BUFFER_NAMES_H

#define LENSWARP_VB_MEMFD_NAME "lenswarp-vb"

#endif  // SIM_BUFFER_NAMES_H
