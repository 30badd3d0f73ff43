// Heap memory of the tracker: its buffers at creation and open, and the temporaries of the
// offline finish. Every allocation passes the test hook of beattracker_testing.h.
#pragma once

#include <cstddef>

// count zeroed elements of `size` bytes, or null when memory is exhausted (or the test hook
// refuses it). Release with std::free.
void *beattracker_allocZeroed(std::size_t count, std::size_t size);
