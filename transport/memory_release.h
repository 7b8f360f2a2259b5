// Giving freed memory back to the system. Allocators keep what a program frees for its next
// allocations; after a burst (a busy second of log lines, a large upload) that memory would
// stay resident for good. The log saver calls this after each save.
//
// Callable from any thread; it takes the allocator's own locks for a moment.
#pragma once

namespace qorsv {

// With tcmalloc linked, its free pages are returned (MallocExtension_ReleaseFreeMemory);
// otherwise the C library's heaps are trimmed (malloc_trim).
void ReleaseFreeMemory();

}  // namespace qorsv
