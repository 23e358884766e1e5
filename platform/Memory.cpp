#include "platform/Memory.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdlib>

namespace platform {

bool UseLargePagesForHeap(size_t reserve) {
#if defined(__GLIBC__) && defined(MADV_HUGEPAGE)
    constexpr uintptr_t Large = uintptr_t{2} << 20;
    constexpr int MaxThreshold = 32 << 20;  // the largest mmap threshold glibc takes
    constexpr int TopPad = 128 << 10;       // glibc's own
    if (reserve == 0 || reserve > (size_t{1} << 30))
        return false;
    // Big blocks (library images) from the heap too, and nothing given back: a heap cut
    // back and grown again would come back on small pages.
    if (mallopt(M_MMAP_THRESHOLD, MaxThreshold) == 0 || mallopt(M_TRIM_THRESHOLD, INT_MAX) == 0 ||
        mallopt(M_TOP_PAD, static_cast<int>(reserve)) == 0)
        return false;
    // A block larger than what the heap has left makes it grow by the block and the pad;
    // freed, it goes back to the top, where the next allocations are taken from.
    void* volatile grow = std::malloc(1 << 20);
    const auto from = (reinterpret_cast<uintptr_t>(grow) + Large - 1) & ~(Large - 1);
    std::free(grow);
    mallopt(M_TOP_PAD, TopPad);
    const auto to = reinterpret_cast<uintptr_t>(::sbrk(0)) & ~(Large - 1);
    return from != 0 && to > from &&
           ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE) == 0;
#else
    (void)reserve;
    return false;
#endif
}

}  // namespace platform
