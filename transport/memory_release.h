// Giving freed memory back to the system. Allocators keep what a program frees for its next
// allocations; after a burst (a busy second of log lines, a large upload) that memory would
// stay resident for good. The log saver calls ReleaseFreeMemory after each save, once its own
// thread's cache is given up; connection threads and event streams that go idle give up theirs.
//
// Callable from any thread; it takes the allocator's own locks for a moment.
#pragma once

namespace qorsv {

// With tcmalloc linked, its free pages are returned (MallocExtension_ReleaseFreeMemory);
// otherwise the C library's heaps are trimmed (malloc_trim).
void ReleaseFreeMemory();

// Hands the calling thread's cache of freed blocks back to the allocator's shared pool, so that
// ReleaseFreeMemory can return it. For threads that go idle; a no-op without tcmalloc.
void ReleaseThreadCache();

}  // namespace qorsv
