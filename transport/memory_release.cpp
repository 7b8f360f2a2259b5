#include "transport/memory_release.h"

#include <malloc.h>

#if __has_include(<gperftools/malloc_extension_c.h>)
#include <gperftools/malloc_extension_c.h>
// Only the programs link tcmalloc; tests and sanitizer builds run on other allocators, where
// the weak reference stays null.
#pragma weak MallocExtension_ReleaseFreeMemory
#pragma weak MallocExtension_MarkThreadIdle
#define QORSV_HAVE_TCMALLOC_HEADER 1
#endif

namespace qorsv {

void ReleaseFreeMemory() {
#ifdef QORSV_HAVE_TCMALLOC_HEADER
  if (&MallocExtension_ReleaseFreeMemory != nullptr) {
    MallocExtension_ReleaseFreeMemory();
    return;
  }
#endif
  malloc_trim(0);
}

void ReleaseThreadCache() {
#ifdef QORSV_HAVE_TCMALLOC_HEADER
  if (&MallocExtension_MarkThreadIdle != nullptr) MallocExtension_MarkThreadIdle();
#endif
}

}  // namespace qorsv
